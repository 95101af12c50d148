#pragma once

#include <cstdint>
#include <functional>

#include "Platform/Workspace/SleepAcknowledgement.h"

namespace platform::workspace {

// Names one registered observer, for removeObserver.
struct WorkspaceObserverToken {
    std::uint64_t value = 0;
    bool operator==(const WorkspaceObserverToken&) const = default;
};

using WillSleepHandler = std::function<void(SleepAcknowledgement)>;
using DidWakeHandler = std::function<void()>;

// The workspace's power notifications: the machine is about to sleep, the machine woke.
//
// Handlers run on the center's own notification thread, one at a time, in the order they were
// added; not on the caller's thread and never on a main loop. A handler should hand its work
// to the thread it belongs on (re-post it) and return. A will-sleep handler keeps the sleep
// waiting by keeping its SleepAcknowledgement until that work is done; a handler that throws
// counts as finished.
class WorkspaceNotificationCenter {
  public:
    virtual ~WorkspaceNotificationCenter() = default;

    virtual WorkspaceObserverToken addWillSleepObserver(WillSleepHandler handler) = 0;
    virtual WorkspaceObserverToken addDidWakeObserver(DidWakeHandler handler) = 0;
    // A handler removed while its notification is being delivered may still receive that one.
    // Unknown tokens are ignored.
    virtual void removeObserver(WorkspaceObserverToken token) = 0;
};

}  // namespace platform::workspace
