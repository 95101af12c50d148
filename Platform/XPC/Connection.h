#pragma once

#include "Platform/Dispatch/OneShotTimer.h"
#include "Platform/Dispatch/SerialQueue.h"
#include "Platform/XPC/ExportedObject.h"
#include "Platform/XPC/Frame.h"
#include "Platform/XPC/FrameAssembler.h"
#include "Platform/XPC/Interface.h"
#include "Platform/XPC/PeerCredentials.h"
#include "Platform/XPC/PeerProcess.h"
#include "Platform/XPC/XPCError.h"

#include <sys/types.h>
#include <asio/posix/stream_descriptor.hpp>

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform::xpc {

class ListenerDelegate;
class RemoteObjectProxy;

struct ConnectionOptions {
    // The service is a system daemon: the listener must be run by
    // requiredListenerUserIdentifier (root), else the connection is invalidated.
    bool privileged = false;
    uid_t requiredListenerUserIdentifier = 0;
};

using ErrorHandler = std::function<void(const XPCError&)>;
using ReplyHandler = std::function<void(ReplyData)>;

// One connection between a client and a listener, either end. Always owned
// through std::shared_ptr. Each connection has its own serial queue: the
// exported object's methods, reply handlers, error handlers and the
// invalidation and interruption handlers all run there, never inline: creating
// a connection, resume(), invalidate(), remoteObjectProxyWithErrorHandler() and
// RemoteObjectProxy::send() only queue work and return.
//
// The peer is the process the kernel names when the connection is made, pinned
// by a pidfd (never as the peer claims); every record received must come from
// that process while it lives, or the connection closes.
//
// Client end (connectToService): created suspended; messages sent before
// resume() wait for it. The socket is opened by the first message after
// resume(); a client whose signature claims the hardened runtime seals itself
// first (platform::security::adoptHardenedRuntime). Messages are held until
// the listener says that it accepted the client. When the listener cannot be
// reached, or is not run by the required user under the privileged option, the
// connection is invalidated. When the peer goes away (or refuses the client),
// every message in flight fails with `connectionInterrupted`, the interruption
// handler runs, and the next message connects again.
//
// Listener end (handed to the listener's delegate): suspended until the
// delegate accepts and resumes it; no byte is read before. Once both happened,
// the client is told so; a byte that arrived before closes the connection
// instead. When the client goes away, or sends nothing for the listener's idle
// time limit, it is invalidated.
//
// Either end: invalidate() (or a malformed or oversized frame, an unknown
// selector or a wrong argument count, a record from another process, a peer
// requirement no longer met) closes the socket for good: every message in
// flight fails with `connectionInvalid`, the invalidation handler runs once,
// later messages fail, and all handlers are released. A connection released by
// its last owner while messages are in flight fails them with
// `connectionInvalid` on the releasing thread.
class Connection : public std::enable_shared_from_this<Connection> {
  public:
    // Throws XPCError `invalidServiceName` or `socketPathTooLong`.
    static std::shared_ptr<Connection> connectToService(const std::string& serviceName,
                                                        ConnectionOptions options = {});

    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    const std::string& serviceName() const { return serviceName_; }

    // The peer as the kernel reports it (never as the peer claims). Listener end:
    // the client process, known from creation. Client end: the listener's
    // process, known once connected; 0 before.
    pid_t processIdentifier() const;
    uid_t effectiveUserIdentifier() const;

    void setExportedInterface(Interface interface);
    void setExportedObject(std::shared_ptr<ExportedObject> object);
    // Checked by the proxies' send(): a method outside it is a programming error.
    void setRemoteObjectInterface(Interface interface);

    // Listener end: asked on the connection's queue before every request reaches
    // the exported object (the sender is already known to be the pinned peer);
    // false closes the connection. Set it before resuming.
    void setPeerRequirement(std::function<bool()> requirement);

    // Set, replace or remove (nullptr) at any time; a handler removed before the
    // event is not called.
    void setInvalidationHandler(std::function<void()> handler);
    void setInterruptionHandler(std::function<void()> handler);

    void resume();
    void invalidate();

    RemoteObjectProxy remoteObjectProxyWithErrorHandler(ErrorHandler errorHandler);

  private:
    friend class Listener;
    friend class RemoteObjectProxy;
    struct Key {};
    // Listener end: how long a frame may take to arrive whole once it started, and
    // how long an accepted connection may stay silent before it is closed.
    struct ListenerEndLimits {
        double frameTimeLimitSeconds = 0;
        double idleTimeLimitSeconds = 0;
    };

  public:
    // Use connectToService (or the listener); public only for make_shared.
    enum class End { client, listener };
    Connection(Key, End end, std::string serviceName, std::filesystem::path socketPath,
               ConnectionOptions options, ListenerEndLimits limits);

  private:
    enum class State { suspended, idle, awaitingAcceptance, connected, invalid };

    struct PendingCall {
        ReplyHandler replyHandler;
        ErrorHandler errorHandler;
    };

    using Socket = asio::posix::stream_descriptor;

    // Listener end: takes over an accepted socket descriptor (closed on failure).
    // Throws what creating the queue or registering the socket throws (out of
    // threads or descriptors).
    static std::shared_ptr<Connection> acceptedConnection(const std::string& serviceName,
                                                          int socketDescriptor, PeerProcess peer,
                                                          ListenerEndLimits limits);
    // Called once when the connection becomes invalid (the listener forgets it).
    void setClosedObserver(std::function<void()> observer);
    // Asks the delegate on the connection's queue; decided runs there afterwards,
    // whatever the answer.
    void decide(std::shared_ptr<ListenerDelegate> delegate, std::function<void()> decided);
    // From any thread: the time for a decision is over. The socket is shut at
    // once; the delegate's answer, when it comes, is ignored.
    void refuseDecision();

    void send(std::string selector, std::vector<std::int64_t> arguments, ReplyHandler replyHandler,
              ErrorHandler errorHandler);

    // Everything below runs on queue_.
    void enqueueCall(RequestMessage request, PendingCall call);
    void resumeOnQueue();
    void finishDecision(bool accepted);
    void activate();
    void startConnect();
    void adoptSocket(int descriptor);
    void startRead();
    void readRecords(std::uint64_t generation);
    void updateFrameTimer();
    void restartIdleTimer();
    void handleMessage(Message message);
    void handleRequest(RequestMessage request);
    void handleReply(ReplyMessage reply);
    void handleAcceptance();
    void sendReplyOnQueue(std::uint64_t callID, ReplyData data);
    void enqueueFrame(std::vector<std::uint8_t> frame);
    void startWrite();
    void peerWentAway();
    void interruptOnQueue();
    void invalidateOnQueue();
    void closeSocket();
    void failPendingCalls(const XPCError& error);
    bool decisionExpired() const;

    // Declared first so that it is destroyed last: the socket and timer belong to its loop.
    dispatch::SerialQueue queue_;

    const End end_;
    const std::string serviceName_;
    const std::filesystem::path socketPath_;
    const ConnectionOptions options_;
    const ListenerEndLimits limits_;

    // Guards what may be touched from any thread.
    mutable std::mutex mutex_;
    std::optional<PeerCredentials> peer_;
    Interface exportedInterface_;
    std::shared_ptr<ExportedObject> exportedObject_;
    std::optional<Interface> remoteInterface_;
    std::function<bool()> peerRequirement_;
    std::function<void()> invalidationHandler_;
    std::function<void()> interruptionHandler_;
    std::function<void()> closedObserver_;
    // The open socket's descriptor, so that refuseDecision() can shut it from another thread.
    int openDescriptor_ = -1;
    bool decisionExpired_ = false;

    // Queue only.
    State state_ = State::suspended;
    std::unique_ptr<Socket> socket_;
    std::optional<PeerProcess> pinnedPeer_;
    // Tells completions of an earlier socket from those of the current one.
    std::uint64_t socketGeneration_ = 0;
    bool reading_ = false;
    bool decided_ = false;
    bool resumeRequested_ = false;
    FrameAssembler assembler_;
    dispatch::OneShotTimer frameTimer_;
    dispatch::OneShotTimer idleTimer_;
    std::uint64_t nextCallID_ = 1;
    std::map<std::uint64_t, PendingCall> pendingCalls_;
    std::deque<std::shared_ptr<std::vector<std::uint8_t>>> outgoing_;
    // Bytes of the front frame already sent.
    std::size_t writeOffset_ = 0;
    bool writing_ = false;
};

// Sends requests over a connection. Every message ends in exactly one of: its
// reply handler with the reply data, or the proxy's error handler. Both run on
// the connection's queue, never inside send().
class RemoteObjectProxy {
  public:
    // Throws std::invalid_argument for a selector or argument list the wire
    // cannot carry or the remote interface does not list.
    void send(std::string selector, std::vector<std::int64_t> arguments,
              ReplyHandler replyHandler) const;

  private:
    friend class Connection;
    RemoteObjectProxy(std::shared_ptr<Connection> connection, ErrorHandler errorHandler)
        : connection_(std::move(connection)), errorHandler_(std::move(errorHandler)) {}

    std::shared_ptr<Connection> connection_;
    ErrorHandler errorHandler_;
};

}  // namespace platform::xpc
