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
// or descriptors, or stall it, and no user can keep another user's client out.
//
// A connection belongs to the user the kernel names for it. Every accepted
// connection takes its place in its user's own line, unread; the lines are
// served in turn, one user after another, so that however many connections one
// user makes, another user's connection waits only for its own user's earlier
// ones. The listener accepts whatever the kernel has queued at once (it never
// leaves one user's connection stuck in the kernel's single backlog behind
// another's), so the bounds below are what holds a flood.
struct ListenerOptions {
    // Connections open at once, decided or not (each has a thread of its own),
    // or waiting in a line; past it a new connection is closed at once.
    std::size_t maximumConnections = 16;
    // The same for the connections of one user (the application needs one).
    std::size_t maximumConnectionsPerUser = 4;
    // Connections whose delegate has not answered yet, in all and of one user;
    // a connection past either waits in its line until a decision ends.
    std::size_t maximumPendingDecisions = 4;
    std::size_t maximumPendingDecisionsPerUser = 2;
    // How long the delegate may take over one connection; then the connection
    // is closed and the delegate's answer ignored.
    double decisionTimeLimitSeconds = 10.0;
    // How long a frame may take to arrive whole once its first byte came.
    double frameTimeLimitSeconds = 5.0;
    // How long an accepted connection may stay silent before it is closed; its
    // client connects again for its next message.
    double idleTimeLimitSeconds = 60.0;
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
    // that ended is replaced, never a file of another kind. The directory must
    // be this user's and gets mode 0755, the socket 0666 and the lock file 0600
    // (nobody else can take the name) whatever the umask, none through a
    // symbolic link; a lock file of another user or kind is not used. Throws
    // XPCError `serviceInUse` when a live listener holds the name (its socket is
    // left alone), `listenerSetupFailed` otherwise. Does nothing once claimed.
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
