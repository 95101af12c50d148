#include "Platform/XPC/Listener.h"

#include "Platform/Dispatch/OneShotTimer.h"
#include "Platform/XPC/Connection.h"
#include "Platform/XPC/PeerCredentials.h"
#include "Platform/XPC/ServiceSocketPath.h"
#include "Platform/XPC/Signals.h"
#include "Platform/XPC/XPCError.h"

#include <sys/stat.h>
#include <asio/local/stream_protocol.hpp>

#include <map>
#include <mutex>
#include <optional>
#include <vector>

namespace platform::xpc {

namespace {

// After a failed accept (e.g. out of descriptors), wait before trying again
// instead of spinning.
constexpr double kAcceptRetryDelaySeconds = 0.1;

}  // namespace

struct Listener::State : std::enable_shared_from_this<Listener::State> {
    State(std::string name, std::filesystem::path path)
        : serviceName(std::move(name)),
          socketPath(std::move(path)),
          queue(serviceName + ".listener"),
          acceptor(queue.context()),
          retryTimer(queue) {}

    const std::string serviceName;
    const std::filesystem::path socketPath;
    dispatch::SerialQueue queue;
    // Queue only (and resume() before accepting starts).
    asio::local::stream_protocol::acceptor acceptor;
    dispatch::OneShotTimer retryTimer;
    std::optional<std::pair<dev_t, ino_t>> boundSocketFile;
    bool accepting = false;

    std::mutex mutex;
    std::shared_ptr<ListenerDelegate> delegate;
    std::map<Connection*, std::shared_ptr<Connection>> connections;

    void startAccept();
    void handleAccepted(asio::local::stream_protocol::socket socket);
    void stopOnQueue();
};

void Listener::State::startAccept() {
    acceptor.async_accept([weak = weak_from_this()](const std::error_code& error,
                                                    asio::local::stream_protocol::socket socket) {
        auto self = weak.lock();
        if (!self || !self->accepting) {
            return;
        }
        if (error) {
            self->retryTimer.schedule(kAcceptRetryDelaySeconds, [weak] {
                if (auto state = weak.lock(); state && state->accepting) {
                    state->startAccept();
                }
            });
            return;
        }
        self->handleAccepted(std::move(socket));
        self->startAccept();
    });
}

void Listener::State::handleAccepted(asio::local::stream_protocol::socket socket) {
    // Identity from the kernel, before anything of the peer is read.
    const auto peer = peerCredentials(socket.native_handle());
    if (!peer) {
        return;  // the socket closes as it goes out of scope
    }
    std::error_code ignored;
    const int descriptor = socket.release(ignored);
    auto connection = Connection::acceptedConnection(serviceName, descriptor, *peer);

    std::shared_ptr<ListenerDelegate> currentDelegate;
    {
        std::lock_guard lock(mutex);
        currentDelegate = delegate;
    }
    const bool accepted =
        currentDelegate && currentDelegate->shouldAcceptNewConnection(*connection);
    if (!accepted) {
        connection->invalidate();
        return;
    }
    Connection* key = connection.get();
    connection->setClosedObserver([weak = weak_from_this(), key] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        std::shared_ptr<Connection> released;
        std::lock_guard lock(self->mutex);
        if (auto found = self->connections.find(key); found != self->connections.end()) {
            released = std::move(found->second);
            self->connections.erase(found);
        }
        // released goes after the lock: it may be the last reference.
    });
    std::lock_guard lock(mutex);
    connections.emplace(key, std::move(connection));
}

void Listener::State::stopOnQueue() {
    accepting = false;
    retryTimer.cancel();
    std::error_code ignored;
    acceptor.close(ignored);
    if (boundSocketFile) {
        // Remove the file only while it is still the one this listener bound.
        struct stat info {};
        if (::lstat(socketPath.c_str(), &info) == 0 && info.st_dev == boundSocketFile->first &&
            info.st_ino == boundSocketFile->second) {
            ::unlink(socketPath.c_str());
        }
        boundSocketFile.reset();
    }
}

Listener::Listener(std::string serviceName) {
    ignoreSIGPIPE();
    auto path = serviceSocketPath(serviceName);
    state_ = std::make_shared<State>(std::move(serviceName), std::move(path));
}

Listener::~Listener() {
    invalidate();
    std::map<Connection*, std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(state_->mutex);
        connections.swap(state_->connections);
    }
    // Synchronously, so that once the listener is gone no accepted connection still holds the
    // objects it exported (the owner may be about to destroy what they refer to).
    for (auto& [key, connection] : connections) {
        connection->queue_.sync([&queued = connection] { queued->invalidateOnQueue(); });
    }
}

const std::string& Listener::serviceName() const {
    return state_->serviceName;
}

const std::filesystem::path& Listener::socketPath() const {
    return state_->socketPath;
}

void Listener::setDelegate(std::shared_ptr<ListenerDelegate> delegate) {
    std::lock_guard lock(state_->mutex);
    state_->delegate = std::move(delegate);
}

void Listener::resume() {
    state_->queue.sync([this] {
        auto& state = *state_;
        if (state.accepting) {
            return;
        }
        const auto& path = state.socketPath;
        std::error_code error;
        std::filesystem::create_directories(path.parent_path(), error);
        if (error) {
            throw XPCError(XPCError::Code::listenerSetupFailed);
        }
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0) {
            if (!S_ISSOCK(info.st_mode)) {
                throw XPCError(XPCError::Code::listenerSetupFailed);
            }
            ::unlink(path.c_str());
        }
        const asio::local::stream_protocol::endpoint endpoint(path.native());
        state.acceptor.open(endpoint.protocol(), error);
        if (!error) {
            state.acceptor.bind(endpoint, error);
        }
        // Anyone may connect; the delegate decides who is served.
        if (!error && ::chmod(path.c_str(), 0666) != 0) {
            error = std::error_code(errno, std::generic_category());
        }
        if (!error) {
            state.acceptor.listen(asio::socket_base::max_listen_connections, error);
        }
        if (!error && ::lstat(path.c_str(), &info) != 0) {
            error = std::error_code(errno, std::generic_category());
        }
        if (error) {
            std::error_code ignored;
            state.acceptor.close(ignored);
            throw XPCError(XPCError::Code::listenerSetupFailed);
        }
        state.boundSocketFile = std::make_pair(info.st_dev, info.st_ino);
        state.accepting = true;
        state.startAccept();
    });
}

void Listener::invalidate() {
    state_->queue.sync([this] { state_->stopOnQueue(); });
}

}  // namespace platform::xpc
