#pragma once

#include "Platform/XPC/ListenerDelegate.h"
#include "Platform/XPC/PeerProcess.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace platform::xpc {

// What a listener allows itself, so that no client, however many connections it
// opens or however slowly it speaks, can make it use unbounded memory, threads
// or descriptors, or stall it.
struct ListenerOptions {
    // Connections open at once, decided or not (each has a thread of its own);
    // past it a new connection is closed at once.
    std::size_t maximumConnections = 16;
    // Connections whose delegate has not answered yet; past it a new connection
    // is closed at once.
    std::size_t maximumPendingDecisions = 4;
    // How long the delegate may take over one connection; then the connection
    // is closed and the delegate's answer ignored.
    double decisionTimeLimitSeconds = 10.0;
    // How long a frame may take to arrive whole once its first byte came.
    double frameTimeLimitSeconds = 5.0;
    // After an accept failed for want of descriptors or memory, the wait before
    // accepting again (the connection waits in the backlog meanwhile).
    double acceptRetryDelaySeconds = 0.1;
    PeerPinning pinning = PeerPinning::automatic;
};

// Accepts connections for a Mach service name on the Unix socket
// "/var/run/xpc/<name>.sock" under the platform root, on a thread of its own.
// Every new connection is pinned to its process and handed to the delegate on
// that connection's own queue, so that a slow decision stalls neither the
// listener nor any other client. Without a delegate every connection is refused.
//
// Destruction invalidates the listener and every connection it accepted.
class Listener {
  public:
    // Throws XPCError `invalidServiceName` or `socketPathTooLong`.
    explicit Listener(std::string serviceName, ListenerOptions options = {});
    ~Listener();

    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    const std::string& serviceName() const;
    const std::filesystem::path& socketPath() const;

    void setDelegate(std::shared_ptr<ListenerDelegate> delegate);

    // Takes the name for this listener and binds its socket without accepting
    // yet: clients may connect and wait. The name is held by a lock next to the
    // socket for as long as the listener lives; a socket file left by a process
    // that ended is replaced, never a file of another kind. The directory gets
    // mode 0755 and the socket 0666 whatever the umask, neither through a
    // symbolic link. Throws XPCError `serviceInUse` when a live listener holds
    // the name (its socket is left alone), `listenerSetupFailed` otherwise.
    // Does nothing once claimed.
    void claim();

    // Claims the name if that has not been done, and starts accepting. Throws as
    // claim() does.
    void resume();

    // Stops accepting, removes the socket file and gives the name up. Accepted
    // connections stay.
    void invalidate();

  private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace platform::xpc
