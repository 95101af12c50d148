#pragma once

#include "Platform/Dispatch/SerialQueue.h"
#include "Platform/XPC/ExportedObject.h"
#include "Platform/XPC/Frame.h"
#include "Platform/XPC/Interface.h"
#include "Platform/XPC/PeerCredentials.h"
#include "Platform/XPC/XPCError.h"

#include <sys/types.h>
#include <asio/local/stream_protocol.hpp>

#include <atomic>
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
// invalidation and interruption handlers all run there.
//
// Client end (connectToService): created suspended; messages sent before
// resume() wait for it. The socket is opened by the first message after
// resume(). When the listener cannot be reached, or is not run by the required
// user under the privileged option, the connection is invalidated. When the peer
// goes away while connected, every message in flight fails with
// `connectionInterrupted`, the interruption handler runs, and the next message
// connects again.
//
// Listener end (handed to the listener's delegate): suspended until the
// delegate resumes it; no byte is read before. When the client goes away, it is
// invalidated.
//
// Either end: invalidate() (or a malformed or oversized frame, an unknown
// selector or a wrong argument count) closes the socket for good: every message
// in flight fails with `connectionInvalid`, the invalidation handler runs once,
// later messages fail at once, and all handlers are released. A connection
// released by its last owner while messages are in flight fails them with
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

  public:
    // Use connectToService (or the listener); public only for make_shared.
    enum class End { client, listener };
    Connection(Key, End end, std::string serviceName, std::filesystem::path socketPath,
               ConnectionOptions options);

  private:
    enum class State { suspended, idle, connecting, connected, invalid };

    struct PendingCall {
        ReplyHandler replyHandler;
        ErrorHandler errorHandler;
    };

    using Socket = asio::local::stream_protocol::socket;

    // Listener end: takes over an accepted socket descriptor.
    static std::shared_ptr<Connection> acceptedConnection(const std::string& serviceName,
                                                          int socketDescriptor,
                                                          PeerCredentials peer);
    // Called once when the connection becomes invalid (the listener forgets it).
    void setClosedObserver(std::function<void()> observer);

    void send(std::string selector, std::vector<std::int64_t> arguments, ReplyHandler replyHandler,
              ErrorHandler errorHandler);

    // Everything below runs on queue_.
    void enqueueCall(RequestMessage request, PendingCall call);
    void resumeOnQueue();
    void startConnect();
    void startRead();
    void readBody(std::uint64_t generation, std::size_t length);
    void handleMessage(Message message);
    void handleRequest(RequestMessage request);
    void handleReply(ReplyMessage reply);
    void sendReplyOnQueue(std::uint64_t callID, ReplyData data);
    void enqueueFrame(std::vector<std::uint8_t> frame);
    void startWrite();
    void peerWentAway();
    void interruptOnQueue();
    void invalidateOnQueue();
    void closeSocket();
    void failPendingCalls(const XPCError& error);

    // Declared first so that it is destroyed last: the socket belongs to its loop.
    dispatch::SerialQueue queue_;

    const End end_;
    const std::string serviceName_;
    const std::filesystem::path socketPath_;
    const ConnectionOptions options_;

    // Guards what may be touched from any thread.
    mutable std::mutex mutex_;
    std::optional<PeerCredentials> peer_;
    Interface exportedInterface_;
    std::shared_ptr<ExportedObject> exportedObject_;
    std::optional<Interface> remoteInterface_;
    std::function<void()> invalidationHandler_;
    std::function<void()> interruptionHandler_;
    std::function<void()> closedObserver_;

    // Queue only.
    State state_ = State::suspended;
    std::unique_ptr<Socket> socket_;
    // Tells completions of an earlier socket from those of the current one.
    std::uint64_t socketGeneration_ = 0;
    std::uint64_t nextCallID_ = 1;
    std::map<std::uint64_t, PendingCall> pendingCalls_;
    std::deque<std::shared_ptr<std::vector<std::uint8_t>>> outgoing_;
    bool writing_ = false;
};

// Sends requests over a connection. Every message ends in exactly one of: its
// reply handler with the reply data, or the proxy's error handler. Both run on
// the connection's queue.
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
