#pragma once

#include <functional>

#include "Platform/Workspace/WorkspaceNotificationCenter.h"

namespace platform::workspace {

// The user's accessibility display options, as the system's settings hold them.
class AccessibilityDisplayOptions {
  public:
    virtual ~AccessibilityDisplayOptions() = default;

    // Whether the user asked for less motion on the screen. Cheap and callable from any thread.
    virtual bool shouldReduceMotion() const = 0;

    // `handler` runs after each change of the options, on the workspace's notification thread
    // (see WorkspaceNotificationCenter); it reads the new values itself.
    virtual WorkspaceObserverToken addDisplayOptionsObserver(std::function<void()> handler) = 0;
    // A handler removed while it is being called may still run that once. Unknown tokens are
    // ignored.
    virtual void removeDisplayOptionsObserver(WorkspaceObserverToken token) = 0;
};

}  // namespace platform::workspace
