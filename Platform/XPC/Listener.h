#pragma once

#include "Platform/Dispatch/SerialQueue.h"
#include "Platform/XPC/ListenerDelegate.h"

#include <filesystem>
#include <memory>
#include <string>

namespace platform::xpc {

// Accepts connections for a Mach service name on the Unix socket
// "/var/run/xpc/<name>.sock" under the platform root, on a thread of its own.
// Without a delegate every connection is refused.
//
// Destruction invalidates the listener and every connection it accepted.
class Listener {
  public:
    // Throws XPCError `invalidServiceName` or `socketPathTooLong`.
    explicit Listener(std::string serviceName);
    ~Listener();

    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    const std::string& serviceName() const;
    const std::filesystem::path& socketPath() const;

    void setDelegate(std::shared_ptr<ListenerDelegate> delegate);

    // Binds the socket (replacing a stale socket file left by an earlier
    // process, never a file of another kind) and starts accepting. Throws
    // XPCError `listenerSetupFailed`.
    void resume();

    // Stops accepting and removes the socket file. Accepted connections stay.
    void invalidate();

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace platform::xpc
