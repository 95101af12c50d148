#include "Platform/XPC/Connection.h"

#include "Platform/Foundation/ProcessStartTime.h"
#include "Platform/Security/Code.h"
#include "Platform/XPC/ListenerDelegate.h"
#include "Platform/XPC/MessageSocket.h"
#include "Platform/XPC/ServiceSocketPath.h"
#include "Platform/XPC/Signals.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace platform::xpc {

namespace {

// Records read in one turn before other work of the queue gets its turn.
constexpr int kRecordsPerTurn = 16;

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
                       ConnectionOptions options, ListenerEndLimits limits)
    : queue_(queueLabel(serviceName, end)),
      end_(end),
      serviceName_(std::move(serviceName)),
      socketPath_(std::move(socketPath)),
      options_(options),
      limits_(limits),
      frameTimer_(queue_),
      idleTimer_(queue_) {
    ignoreSIGPIPE();
}

std::shared_ptr<Connection> Connection::connectToService(const std::string& serviceName,
                                                         ConnectionOptions options) {
    auto path = serviceSocketPath(serviceName);
    return std::make_shared<Connection>(Key{}, End::client, serviceName, std::move(path), options,
                                        ListenerEndLimits{});
}

std::shared_ptr<Connection> Connection::acceptedConnection(const std::string& serviceName,
                                                           int socketDescriptor, PeerProcess peer,
                                                           ListenerEndLimits limits) {
    std::shared_ptr<Connection> connection;
    try {
        connection =
            std::make_shared<Connection>(Key{}, End::listener, serviceName, std::filesystem::path{},
                                         ConnectionOptions{}, limits);
        connection->peer_ = peer.credentials();
        connection->pinnedPeer_ = std::move(peer);
        // Not started yet: nothing else can touch the socket before the decision.
        connection->adoptSocket(socketDescriptor);
    } catch (...) {
        if (!connection || !connection->socket_) {
            ::close(socketDescriptor);
        }
        throw;
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

void Connection::setPeerRequirement(std::function<bool()> requirement) {
    std::lock_guard lock(mutex_);
    peerRequirement_ = std::move(requirement);
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

void Connection::decide(std::shared_ptr<ListenerDelegate> delegate, std::function<void()> decided) {
    queue_.async(
        [self = shared_from_this(), delegate = std::move(delegate), decided = std::move(decided)] {
            bool accepted = false;
            if (self->state_ == State::suspended && !self->decisionExpired()) {
                try {
                    accepted = delegate && delegate->shouldAcceptNewConnection(*self);
                } catch (...) {
                    accepted = false;  // a delegate that fails refuses
                }
            }
            self->finishDecision(accepted);
            decided();
        });
}

void Connection::refuseDecision() {
    std::lock_guard lock(mutex_);
    decisionExpired_ = true;
    if (openDescriptor_ >= 0) {
        ::shutdown(openDescriptor_, SHUT_RDWR);
    }
}

bool Connection::decisionExpired() const {
    std::lock_guard lock(mutex_);
    return decisionExpired_;
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
        resumeRequested_ = true;
        if (decided_) {
            activate();
        }
        return;
    }
    state_ = State::idle;
    if (!pendingCalls_.empty()) {
        startConnect();
    }
}

void Connection::finishDecision(bool accepted) {
    if (state_ != State::suspended) {
        return;  // closed meanwhile
    }
    if (!accepted || decisionExpired()) {
        invalidateOnQueue();
        return;
    }
    decided_ = true;
    if (resumeRequested_) {
        activate();
    }
}

void Connection::activate() {
    // The peer must still be the process that was examined, and it must not have
    // spoken yet: bytes written before an exec would otherwise pass as the new image's.
    if (!socket_ || !pinnedPeer_ || !pinnedPeer_->isAlive() ||
        hasPendingInput(socket_->native_handle())) {
        invalidateOnQueue();
        return;
    }
    state_ = State::connected;
    enqueueFrame(encodeFrame(AcceptanceMessage{}));
    restartIdleTimer();
    startRead();
}

void Connection::adoptSocket(int descriptor) {
    socket_ = std::make_unique<Socket>(queue_.context(), descriptor);
    ++socketGeneration_;
    std::lock_guard lock(mutex_);
    openDescriptor_ = descriptor;
}

void Connection::startConnect() {
    // Sealed before it connects, so that nothing can reach into the process once the
    // listener has examined it.
    (void)security::adoptHardenedRuntime();
    const int descriptor = openMessageSocket();
    if (descriptor < 0) {
        interruptOnQueue();
        return;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath_.c_str(), sizeof(address.sun_path) - 1);
    int result = 0;
    do {
        result =
            ::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const bool busy = errno == EAGAIN;
        ::close(descriptor);
        if (busy) {
            interruptOnQueue();  // the listener's backlog is full; try again later
        } else {
            invalidateOnQueue();  // no listener under the name: the service does not exist
        }
        return;
    }
    auto peer = PeerProcess::pin(descriptor, PeerPinning::automatic, foundation::bootTimeTicks());
    if (!peer || (options_.privileged && peer->credentials().effectiveUserIdentifier !=
                                             options_.requiredListenerUserIdentifier)) {
        ::close(descriptor);
        invalidateOnQueue();
        return;
    }
    try {
        adoptSocket(descriptor);
    } catch (...) {
        if (!socket_) {
            ::close(descriptor);
        }
        interruptOnQueue();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        peer_ = peer->credentials();
    }
    pinnedPeer_ = std::move(peer);
    state_ = State::awaitingAcceptance;
    startRead();
}

void Connection::startRead() {
    if (!socket_ || reading_) {
        return;
    }
    reading_ = true;
    socket_->async_wait(
        Socket::wait_read,
        [weak = weak_from_this(), generation = socketGeneration_](const std::error_code& error) {
            auto self = weak.lock();
            if (!self || self->socketGeneration_ != generation) {
                return;
            }
            self->reading_ = false;
            if (error) {
                return;  // the socket was closed
            }
            self->readRecords(generation);
        });
}

void Connection::readRecords(std::uint64_t generation) {
    std::array<std::uint8_t, kMaximumRecordSize> buffer;
    for (int turn = 0; turn < kRecordsPerTurn; ++turn) {
        if (socketGeneration_ != generation || !socket_ ||
            (state_ != State::connected && state_ != State::awaitingAcceptance)) {
            return;
        }
        const ReceivedRecord record = receiveRecord(socket_->native_handle(), buffer);
        switch (record.outcome) {
            case ReceivedRecord::Outcome::wouldBlock:
                startRead();
                return;
            case ReceivedRecord::Outcome::closed:
            case ReceivedRecord::Outcome::failed:
                peerWentAway();
                return;
            case ReceivedRecord::Outcome::violation:
                invalidateOnQueue();
                return;
            case ReceivedRecord::Outcome::record:
                break;
        }
        // Only the process the connection was made with may speak on it.
        if (!pinnedPeer_ || !pinnedPeer_->sent(record.sender)) {
            invalidateOnQueue();
            return;
        }
        std::vector<Message> messages;
        try {
            messages = assembler_.append(std::span(buffer).first(record.size));
        } catch (const XPCError&) {
            invalidateOnQueue();
            return;
        }
        updateFrameTimer();
        restartIdleTimer();
        for (auto& message : messages) {
            if (socketGeneration_ != generation || state_ == State::invalid) {
                return;
            }
            handleMessage(std::move(message));
        }
    }
    // More may be waiting; let other work of the queue run first.
    startRead();
}

void Connection::restartIdleTimer() {
    if (end_ != End::listener) {
        return;
    }
    // A silent client holds a place of its user; it connects again when it has something to say.
    idleTimer_.schedule(limits_.idleTimeLimitSeconds, [weak = weak_from_this()] {
        if (auto self = weak.lock()) {
            self->invalidateOnQueue();
        }
    });
}

void Connection::updateFrameTimer() {
    if (end_ != End::listener) {
        return;
    }
    if (assembler_.holdsPartialFrame()) {
        if (!frameTimer_.isScheduled()) {
            frameTimer_.schedule(limits_.frameTimeLimitSeconds, [weak = weak_from_this()] {
                if (auto self = weak.lock()) {
                    self->invalidateOnQueue();  // a frame that does not arrive whole in time
                }
            });
        }
    } else if (frameTimer_.isScheduled()) {
        frameTimer_.cancel();
    }
}

void Connection::handleMessage(Message message) {
    if (state_ == State::awaitingAcceptance) {
        // The listener's first word must be its acceptance.
        if (std::holds_alternative<AcceptanceMessage>(message)) {
            handleAcceptance();
        } else {
            invalidateOnQueue();
        }
        return;
    }
    if (auto* request = std::get_if<RequestMessage>(&message)) {
        handleRequest(std::move(*request));
    } else if (auto* reply = std::get_if<ReplyMessage>(&message)) {
        handleReply(std::move(*reply));
    } else {
        invalidateOnQueue();  // a second acceptance, or one sent to the listener
    }
}

void Connection::handleAcceptance() {
    if (end_ != End::client) {
        invalidateOnQueue();
        return;
    }
    state_ = State::connected;
    startWrite();
}

void Connection::handleRequest(RequestMessage request) {
    std::shared_ptr<ExportedObject> object;
    std::function<bool()> requirement;
    bool accepted = false;
    {
        std::lock_guard lock(mutex_);
        object = exportedObject_;
        requirement = peerRequirement_;
        accepted = exportedInterface_.accepts(request.selector, request.arguments.size());
    }
    if (end_ != End::listener || !object || !accepted) {
        invalidateOnQueue();
        return;
    }
    // Asked after the sender was matched; still alive afterwards, the pinned process is the one
    // any lookup by its id during the check has found.
    if ((requirement && !requirement()) || !pinnedPeer_ || !pinnedPeer_->isAlive()) {
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
    while (!writing_ && state_ == State::connected && socket_ && !outgoing_.empty()) {
        const auto& frame = *outgoing_.front();
        const std::size_t length = std::min(kMaximumRecordSize, frame.size() - writeOffset_);
        switch (
            sendRecord(socket_->native_handle(), std::span(frame).subspan(writeOffset_, length))) {
            case SendOutcome::sent:
                writeOffset_ += length;
                if (writeOffset_ == frame.size()) {
                    outgoing_.pop_front();
                    writeOffset_ = 0;
                }
                break;
            case SendOutcome::wouldBlock:
                writing_ = true;
                socket_->async_wait(Socket::wait_write,
                                    [weak = weak_from_this(),
                                     generation = socketGeneration_](const std::error_code& error) {
                                        auto self = weak.lock();
                                        if (!self || self->socketGeneration_ != generation) {
                                            return;
                                        }
                                        self->writing_ = false;
                                        if (!error) {
                                            self->startWrite();
                                        }
                                    });
                return;
            case SendOutcome::failed:
                peerWentAway();
                return;
        }
    }
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
    pinnedPeer_.reset();
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
    pinnedPeer_.reset();
    failPendingCalls(XPCError(XPCError::Code::connectionInvalid));
    std::function<void()> invalidation;
    std::function<void()> observer;
    std::shared_ptr<ExportedObject> object;
    std::function<bool()> requirement;
    {
        std::lock_guard lock(mutex_);
        invalidation = std::move(invalidationHandler_);
        observer = std::move(closedObserver_);
        object = std::move(exportedObject_);
        requirement = std::move(peerRequirement_);
        invalidationHandler_ = nullptr;
        interruptionHandler_ = nullptr;
        closedObserver_ = nullptr;
        peerRequirement_ = nullptr;
    }
    // Released before the listener learns that the connection closed: once a listener no
    // longer lists a connection, nothing it exported is held on its behalf.
    object.reset();
    requirement = nullptr;
    callSafely(invalidation);
    callSafely(observer);
}

void Connection::closeSocket() {
    ++socketGeneration_;
    outgoing_.clear();
    writeOffset_ = 0;
    writing_ = false;
    reading_ = false;
    assembler_ = FrameAssembler();
    if (frameTimer_.isScheduled()) {
        frameTimer_.cancel();
    }
    if (idleTimer_.isScheduled()) {
        idleTimer_.cancel();
    }
    {
        std::lock_guard lock(mutex_);
        openDescriptor_ = -1;
    }
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
