#include "Platform/XPC/Connection.h"

#include "Platform/XPC/ServiceSocketPath.h"
#include "Platform/XPC/Signals.h"

#include <asio/read.hpp>
#include <asio/write.hpp>

#include <array>
#include <stdexcept>
#include <utility>

namespace platform::xpc {

namespace {

std::string queueLabel(const std::string& serviceName, Connection::End end) {
    return serviceName + (end == Connection::End::client ? ".client" : ".peer");
}

template <class Handler>
void callSafely(const Handler& handler) {
    if (handler) {
        handler();
    }
}

}  // namespace

Connection::Connection(Key, End end, std::string serviceName, std::filesystem::path socketPath,
                       ConnectionOptions options)
    : queue_(queueLabel(serviceName, end)),
      end_(end),
      serviceName_(std::move(serviceName)),
      socketPath_(std::move(socketPath)),
      options_(options) {
    ignoreSIGPIPE();
}

std::shared_ptr<Connection> Connection::connectToService(const std::string& serviceName,
                                                         ConnectionOptions options) {
    auto path = serviceSocketPath(serviceName);
    return std::make_shared<Connection>(Key{}, End::client, serviceName, std::move(path), options);
}

std::shared_ptr<Connection> Connection::acceptedConnection(const std::string& serviceName,
                                                           int socketDescriptor,
                                                           PeerCredentials peer) {
    auto connection = std::make_shared<Connection>(Key{}, End::listener, serviceName,
                                                   std::filesystem::path{}, ConnectionOptions{});
    connection->peer_ = peer;
    // Not started yet: nothing else can touch the socket before resume().
    connection->socket_ = std::make_unique<Socket>(connection->queue_.context());
    std::error_code error;
    connection->socket_->assign(asio::local::stream_protocol(), socketDescriptor, error);
    if (error) {
        connection->socket_.reset();
        connection->state_ = State::invalid;
    }
    return connection;
}

Connection::~Connection() {
    // Only reached when no work of this connection is running: every piece of
    // queued work holds a reference. Messages still in flight fail here so that
    // each gets its one answer.
    failPendingCalls(XPCError(XPCError::Code::connectionInvalid));
    if (socket_) {
        // The socket belongs to the queue's loop; close it there. The queue's
        // destruction runs this before it stops.
        queue_.async([socket = std::shared_ptr<Socket>(std::move(socket_))] {
            std::error_code ignored;
            socket->close(ignored);
        });
    }
}

pid_t Connection::processIdentifier() const {
    std::lock_guard lock(mutex_);
    return peer_ ? peer_->processIdentifier : 0;
}

uid_t Connection::effectiveUserIdentifier() const {
    std::lock_guard lock(mutex_);
    return peer_ ? peer_->effectiveUserIdentifier : 0;
}

void Connection::setExportedInterface(Interface interface) {
    std::lock_guard lock(mutex_);
    exportedInterface_ = std::move(interface);
}

void Connection::setExportedObject(std::shared_ptr<ExportedObject> object) {
    std::lock_guard lock(mutex_);
    exportedObject_ = std::move(object);
}

void Connection::setRemoteObjectInterface(Interface interface) {
    std::lock_guard lock(mutex_);
    remoteInterface_ = std::move(interface);
}

void Connection::setInvalidationHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    invalidationHandler_ = std::move(handler);
}

void Connection::setInterruptionHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    interruptionHandler_ = std::move(handler);
}

void Connection::setClosedObserver(std::function<void()> observer) {
    std::lock_guard lock(mutex_);
    closedObserver_ = std::move(observer);
}

void Connection::resume() {
    queue_.async([self = shared_from_this()] { self->resumeOnQueue(); });
}

void Connection::invalidate() {
    queue_.async([self = shared_from_this()] { self->invalidateOnQueue(); });
}

RemoteObjectProxy Connection::remoteObjectProxyWithErrorHandler(ErrorHandler errorHandler) {
    return RemoteObjectProxy(shared_from_this(), std::move(errorHandler));
}

void RemoteObjectProxy::send(std::string selector, std::vector<std::int64_t> arguments,
                             ReplyHandler replyHandler) const {
    connection_->send(std::move(selector), std::move(arguments), std::move(replyHandler),
                      errorHandler_);
}

void Connection::send(std::string selector, std::vector<std::int64_t> arguments,
                      ReplyHandler replyHandler, ErrorHandler errorHandler) {
    if (!isValidSelector(selector) || arguments.size() > kMaximumArgumentCount) {
        throw std::invalid_argument("The message cannot be sent: " + selector);
    }
    {
        std::lock_guard lock(mutex_);
        if (remoteInterface_ && !remoteInterface_->accepts(selector, arguments.size())) {
            throw std::invalid_argument("The remote interface has no method " + selector);
        }
    }
    RequestMessage request{0, std::move(selector), std::move(arguments)};
    PendingCall call{std::move(replyHandler), std::move(errorHandler)};
    queue_.async([self = shared_from_this(), request = std::move(request),
                  call = std::move(call)]() mutable {
        self->enqueueCall(std::move(request), std::move(call));
    });
}

void Connection::enqueueCall(RequestMessage request, PendingCall call) {
    if (state_ == State::invalid) {
        if (call.errorHandler) {
            call.errorHandler(XPCError(XPCError::Code::connectionInvalid));
        }
        return;
    }
    request.callID = nextCallID_++;
    pendingCalls_.emplace(request.callID, std::move(call));
    enqueueFrame(encodeFrame(request));
    if (state_ == State::idle) {
        startConnect();
    }
}

void Connection::resumeOnQueue() {
    if (state_ != State::suspended) {
        return;
    }
    if (end_ == End::listener) {
        state_ = State::connected;
        startRead();
        startWrite();
        return;
    }
    state_ = State::idle;
    if (!pendingCalls_.empty()) {
        startConnect();
    }
}

void Connection::startConnect() {
    state_ = State::connecting;
    const std::uint64_t generation = ++socketGeneration_;
    socket_ = std::make_unique<Socket>(queue_.context());
    socket_->async_connect(asio::local::stream_protocol::endpoint(socketPath_.native()),
                           [weak = weak_from_this(), generation](const std::error_code& error) {
                               auto self = weak.lock();
                               if (!self || self->socketGeneration_ != generation ||
                                   self->state_ != State::connecting) {
                                   return;
                               }
                               if (error) {
                                   // No listener under the name: the service does not exist.
                                   self->invalidateOnQueue();
                                   return;
                               }
                               const auto peer = peerCredentials(self->socket_->native_handle());
                               if (!peer || (self->options_.privileged &&
                                             peer->effectiveUserIdentifier !=
                                                 self->options_.requiredListenerUserIdentifier)) {
                                   self->invalidateOnQueue();
                                   return;
                               }
                               {
                                   std::lock_guard lock(self->mutex_);
                                   self->peer_ = peer;
                               }
                               self->state_ = State::connected;
                               self->startRead();
                               self->startWrite();
                           });
}

void Connection::startRead() {
    auto header = std::make_shared<std::array<std::uint8_t, kFrameHeaderSize>>();
    asio::async_read(*socket_, asio::buffer(*header),
                     [weak = weak_from_this(), generation = socketGeneration_, header](
                         const std::error_code& error, std::size_t) {
                         auto self = weak.lock();
                         if (!self || self->socketGeneration_ != generation ||
                             self->state_ != State::connected) {
                             return;
                         }
                         if (error) {
                             self->peerWentAway();
                             return;
                         }
                         std::size_t length = 0;
                         try {
                             length = decodeFrameLength(*header);
                         } catch (const XPCError&) {
                             // Oversized or empty: never read the body.
                             self->invalidateOnQueue();
                             return;
                         }
                         self->readBody(generation, length);
                     });
}

void Connection::readBody(std::uint64_t generation, std::size_t length) {
    auto body = std::make_shared<std::vector<std::uint8_t>>(length);
    asio::async_read(
        *socket_, asio::buffer(*body),
        [weak = weak_from_this(), generation, body](const std::error_code& error, std::size_t) {
            auto self = weak.lock();
            if (!self || self->socketGeneration_ != generation ||
                self->state_ != State::connected) {
                return;
            }
            if (error) {
                self->peerWentAway();
                return;
            }
            std::optional<Message> message;
            try {
                message = decodeFrameBody(*body);
            } catch (const XPCError&) {
                self->invalidateOnQueue();
                return;
            }
            self->handleMessage(std::move(*message));
            if (self->state_ == State::connected && self->socketGeneration_ == generation) {
                self->startRead();
            }
        });
}

void Connection::handleMessage(Message message) {
    if (auto* request = std::get_if<RequestMessage>(&message)) {
        handleRequest(std::move(*request));
    } else {
        handleReply(std::get<ReplyMessage>(std::move(message)));
    }
}

void Connection::handleRequest(RequestMessage request) {
    std::shared_ptr<ExportedObject> object;
    bool accepted = false;
    {
        std::lock_guard lock(mutex_);
        object = exportedObject_;
        accepted = exportedInterface_.accepts(request.selector, request.arguments.size());
    }
    if (end_ != End::listener || !object || !accepted) {
        invalidateOnQueue();
        return;
    }
    ReplyBlock reply([weak = weak_from_this(), callID = request.callID](ReplyData data) {
        auto self = weak.lock();
        if (!self) {
            return;  // the connection is gone; nobody waits for this reply
        }
        self->queue_.async([self, callID, data = std::move(data)]() mutable {
            self->sendReplyOnQueue(callID, std::move(data));
        });
    });
    object->invoke(request.selector, request.arguments, std::move(reply));
}

void Connection::handleReply(ReplyMessage reply) {
    const auto found = pendingCalls_.find(reply.callID);
    if (end_ != End::client || found == pendingCalls_.end()) {
        invalidateOnQueue();
        return;
    }
    PendingCall call = std::move(found->second);
    pendingCalls_.erase(found);
    if (call.replyHandler) {
        call.replyHandler(std::move(reply.data));
    }
}

void Connection::sendReplyOnQueue(std::uint64_t callID, ReplyData data) {
    if (state_ == State::invalid) {
        return;
    }
    if (data.size() > kMaximumReplyDataSize) {
        // The frame could not carry it; close rather than leave the caller waiting.
        invalidateOnQueue();
        return;
    }
    enqueueFrame(encodeFrame(ReplyMessage{callID, std::move(data)}));
}

void Connection::enqueueFrame(std::vector<std::uint8_t> frame) {
    outgoing_.push_back(std::make_shared<std::vector<std::uint8_t>>(std::move(frame)));
    startWrite();
}

void Connection::startWrite() {
    if (writing_ || outgoing_.empty() || state_ != State::connected) {
        return;
    }
    writing_ = true;
    auto frame = outgoing_.front();
    // asio sends with MSG_NOSIGNAL; a vanished peer fails the write.
    asio::async_write(*socket_, asio::buffer(*frame),
                      [weak = weak_from_this(), generation = socketGeneration_, frame](
                          const std::error_code& error, std::size_t) {
                          auto self = weak.lock();
                          if (!self || self->socketGeneration_ != generation) {
                              return;
                          }
                          self->writing_ = false;
                          if (self->state_ != State::connected) {
                              return;
                          }
                          if (error) {
                              self->peerWentAway();
                              return;
                          }
                          self->outgoing_.pop_front();
                          self->startWrite();
                      });
}

void Connection::peerWentAway() {
    if (end_ == End::client) {
        interruptOnQueue();
    } else {
        invalidateOnQueue();
    }
}

void Connection::interruptOnQueue() {
    auto guard = shared_from_this();
    closeSocket();
    state_ = State::idle;
    failPendingCalls(XPCError(XPCError::Code::connectionInterrupted));
    std::function<void()> handler;
    {
        std::lock_guard lock(mutex_);
        handler = interruptionHandler_;
    }
    callSafely(handler);
}

void Connection::invalidateOnQueue() {
    if (state_ == State::invalid) {
        return;
    }
    // Handlers below may drop the last outside reference.
    auto guard = shared_from_this();
    closeSocket();
    state_ = State::invalid;
    failPendingCalls(XPCError(XPCError::Code::connectionInvalid));
    std::function<void()> invalidation;
    std::function<void()> observer;
    std::shared_ptr<ExportedObject> object;
    {
        std::lock_guard lock(mutex_);
        invalidation = std::move(invalidationHandler_);
        observer = std::move(closedObserver_);
        object = std::move(exportedObject_);
        invalidationHandler_ = nullptr;
        interruptionHandler_ = nullptr;
        closedObserver_ = nullptr;
    }
    // Released before the listener learns that the connection closed: once a listener no
    // longer lists a connection, nothing it exported is held on its behalf.
    object.reset();
    callSafely(invalidation);
    callSafely(observer);
}

void Connection::closeSocket() {
    ++socketGeneration_;
    outgoing_.clear();
    writing_ = false;
    if (socket_) {
        std::error_code ignored;
        socket_->close(ignored);
        socket_.reset();
    }
}

void Connection::failPendingCalls(const XPCError& error) {
    auto calls = std::move(pendingCalls_);
    pendingCalls_.clear();
    for (auto& [id, call] : calls) {
        if (call.errorHandler) {
            call.errorHandler(error);
        }
    }
}

}  // namespace platform::xpc
