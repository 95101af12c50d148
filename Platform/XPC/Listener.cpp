#include "Platform/XPC/Listener.h"

#include "Platform/Dispatch/OneShotTimer.h"
#include "Platform/Dispatch/SerialQueue.h"
#include "Platform/Foundation/Directories.h"
#include "Platform/Foundation/ProcessStartTime.h"
#include "Platform/Foundation/ScopedDescriptor.h"
#include "Platform/XPC/Connection.h"
#include "Platform/XPC/MessageSocket.h"
#include "Platform/XPC/PeerCredentials.h"
#include "Platform/XPC/ServiceSocketPath.h"
#include "Platform/XPC/Signals.h"
#include "Platform/XPC/XPCError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <asio/posix/stream_descriptor.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>

namespace platform::xpc {

using foundation::ScopedDescriptor;

namespace {

// Connections accepted in one turn before other work of the listener's queue runs.
constexpr int kAcceptsPerTurn = 64;

constexpr mode_t kDirectoryMode = 0755;
// Anyone may connect; the delegate decides who is served.
constexpr mode_t kSocketMode = 0666;
// This user's alone: flock needs no more than reading, so a lock anyone can open, anyone can hold,
// keeping every later listener from the name.
constexpr mode_t kLockMode = 0600;

[[noreturn]] void setupFailed() {
    throw XPCError(XPCError::Code::listenerSetupFailed);
}

// The socket's directory, created if need be and opened without following a link: it must be a
// directory of this user, and gets its mode whatever the umask.
ScopedDescriptor openSocketDirectory(const std::filesystem::path& directory) {
    try {
        foundation::createDirectories(directory, kDirectoryMode);
    } catch (const std::filesystem::filesystem_error&) {
        setupFailed();
    }
    ScopedDescriptor descriptor(
        ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (descriptor.get() < 0 || ::fstat(descriptor.get(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid() || ::fchmod(descriptor.get(), kDirectoryMode) != 0) {
        setupFailed();
    }
    return descriptor;
}

}  // namespace

struct Listener::State : std::enable_shared_from_this<Listener::State> {
    State(std::string name, std::filesystem::path path, ListenerOptions settings)
        : serviceName(std::move(name)),
          socketPath(std::move(path)),
          options(settings),
          queue(serviceName + ".listener"),
          retryTimer(queue) {}

    // An accepted connection in its user's line: not read, not yet pinned.
    struct Waiting {
        ScopedDescriptor socket;
        std::uint64_t acceptedAt = 0;
    };
    // What one user holds.
    struct Share {
        std::size_t open = 0;     // connections made, decided or not
        std::size_t pending = 0;  // of them, those not decided yet
        std::deque<Waiting> line;
    };
    struct PendingDecision {
        uid_t user = 0;
        std::unique_ptr<dispatch::OneShotTimer> timer;
    };

    const std::string serviceName;
    const std::filesystem::path socketPath;
    const ListenerOptions options;
    dispatch::SerialQueue queue;

    // Queue only.
    dispatch::OneShotTimer retryTimer;
    std::unique_ptr<asio::posix::stream_descriptor> acceptor;
    int lockDescriptor = -1;
    std::optional<std::pair<dev_t, ino_t>> boundSocketFile;
    bool accepting = false;
    std::map<uid_t, Share> shares;  // only users that hold something
    std::size_t openTotal = 0;
    std::size_t waitingTotal = 0;
    // The user whose line was served last; the next turn goes to the next user after it.
    uid_t lastServedUser = 0;
    // Every connection whose delegate has not answered yet.
    std::map<Connection*, PendingDecision> pendingDecisions;

    std::mutex mutex;
    std::shared_ptr<ListenerDelegate> delegate;
    std::map<Connection*, std::shared_ptr<Connection>> connections;

    void claimOnQueue();
    void startAccept();
    void acceptReady();
    void handleAccepted(int descriptor);
    std::optional<uid_t> nextUserInTurn() const;
    void serveLines();
    void startDecision(uid_t user, Waiting waiting);
    void decisionFinished(Connection* key);
    void connectionClosed(uid_t user);
    void forgetIfEmpty(uid_t user);
    void stopOnQueue();
};

void Listener::State::claimOnQueue() {
    if (acceptor) {
        return;
    }
    const std::string name = socketPath.filename().string();
    const auto directory = openSocketDirectory(socketPath.parent_path());

    // Held for the listener's life: a second listener finds the name taken and leaves it alone.
    // Closed to everyone else before it is taken, also when an earlier version left it open.
    ScopedDescriptor lock(::openat(directory.get(), (name + ".lock").c_str(),
                                   O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kLockMode));
    struct stat lockInfo {};
    if (lock.get() < 0 || ::fstat(lock.get(), &lockInfo) != 0 || !S_ISREG(lockInfo.st_mode) ||
        lockInfo.st_uid != ::geteuid() || ::fchmod(lock.get(), kLockMode) != 0) {
        setupFailed();
    }
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            throw XPCError(XPCError::Code::serviceInUse);
        }
        setupFailed();
    }

    // Whoever bound a socket file here has ended (the lock was free): replace it. Anything else
    // at the path, a link included, is not touched.
    struct stat info {};
    if (::fstatat(directory.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISSOCK(info.st_mode) || ::unlinkat(directory.get(), name.c_str(), 0) != 0) {
            setupFailed();
        }
    }

    ScopedDescriptor socket(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket.get() < 0 || !requestSenderCredentials(socket.get())) {
        setupFailed();
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        setupFailed();
    }
    const bool ready =
        ::fchmodat(directory.get(), name.c_str(), kSocketMode, AT_SYMLINK_NOFOLLOW) == 0 &&
        ::fstatat(directory.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISSOCK(info.st_mode) && ::listen(socket.get(), SOMAXCONN) == 0;
    if (!ready) {
        ::unlinkat(directory.get(), name.c_str(), 0);
        setupFailed();
    }
    try {
        acceptor = std::make_unique<asio::posix::stream_descriptor>(queue.context(), socket.get());
    } catch (const std::system_error&) {
        ::unlinkat(directory.get(), name.c_str(), 0);
        setupFailed();
    }
    socket.release();
    lockDescriptor = lock.release();
    boundSocketFile = std::make_pair(info.st_dev, info.st_ino);
}

void Listener::State::startAccept() {
    acceptor->async_wait(asio::posix::stream_descriptor::wait_read,
                         [weak = weak_from_this()](const std::error_code& error) {
                             auto self = weak.lock();
                             if (!self || !self->accepting || error) {
                                 return;
                             }
                             self->acceptReady();
                         });
}

void Listener::State::acceptReady() {
    for (int turn = 0; turn < kAcceptsPerTurn; ++turn) {
        const int descriptor =
            ::accept4(acceptor->native_handle(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor >= 0) {
            handleAccepted(descriptor);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            startAccept();
            return;
        }
        // Out of descriptors or memory: the connection waits in the backlog; try again shortly
        // instead of spinning, and keep serving everyone already connected.
        retryTimer.schedule(options.acceptRetryDelaySeconds, [weak = weak_from_this()] {
            if (auto self = weak.lock(); self && self->accepting) {
                self->startAccept();
            }
        });
        return;
    }
    startAccept();
}

void Listener::State::handleAccepted(int descriptor) {
    ScopedDescriptor socket(descriptor);
    const std::uint64_t acceptedAt = foundation::bootTimeTicks();
    // The user from the kernel, before anything of the peer is read.
    const auto credentials = peerCredentials(socket.get());
    if (!credentials || credentials->processIdentifier <= 0) {
        return;
    }
    const uid_t user = credentials->effectiveUserIdentifier;
    Share& share = shares[user];
    if (share.open + share.line.size() >= options.maximumConnectionsPerUser ||
        openTotal + waitingTotal >= options.maximumConnections) {
        forgetIfEmpty(user);
        return;  // closed at once
    }
    share.line.push_back(Waiting{std::move(socket), acceptedAt});
    ++waitingTotal;
    serveLines();
}

std::optional<uid_t> Listener::State::nextUserInTurn() const {
    const auto mayStart = [this](const auto& entry) {
        const Share& share = entry.second;
        return !share.line.empty() && share.pending < options.maximumPendingDecisionsPerUser;
    };
    auto found = std::find_if(shares.upper_bound(lastServedUser), shares.end(), mayStart);
    if (found == shares.end()) {
        found = std::find_if(shares.begin(), shares.end(), mayStart);
    }
    return found == shares.end() ? std::nullopt : std::optional(found->first);
}

void Listener::State::serveLines() {
    while (pendingDecisions.size() < options.maximumPendingDecisions) {
        const auto user = nextUserInTurn();
        if (!user) {
            return;
        }
        lastServedUser = *user;
        Share& share = shares[*user];
        Waiting next = std::move(share.line.front());
        share.line.pop_front();
        --waitingTotal;
        startDecision(*user, std::move(next));
    }
}

void Listener::State::startDecision(uid_t user, Waiting waiting) {
    // A peer that spoke or hung up before its decision would be closed after it: spare the work.
    // The pin is the process that connected (its start is checked against the acceptance).
    auto peer = hasPendingInput(waiting.socket.get())
                    ? std::nullopt
                    : PeerProcess::pin(waiting.socket.get(), options.pinning, waiting.acceptedAt);
    if (!peer) {
        forgetIfEmpty(user);
        return;
    }
    std::shared_ptr<Connection> connection;
    try {
        connection = Connection::acceptedConnection(
            serviceName, waiting.socket.release(), std::move(*peer),
            Connection::ListenerEndLimits{options.frameTimeLimitSeconds,
                                          options.idleTimeLimitSeconds});
    } catch (...) {
        forgetIfEmpty(user);
        return;  // out of threads or descriptors: the socket is closed, the listener goes on
    }
    Connection* key = connection.get();
    // Registered before the delegate can resume the connection, so that a client closing at once
    // is still forgotten.
    connection->setClosedObserver([weak = weak_from_this(), key, user] {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        std::shared_ptr<Connection> released;
        {
            std::lock_guard lock(self->mutex);
            if (auto found = self->connections.find(key); found != self->connections.end()) {
                released = std::move(found->second);
                self->connections.erase(found);
            }
        }
        self->queue.async([weak, user] {
            if (auto state = weak.lock()) {
                state->connectionClosed(user);
            }
        });
        // released goes after the lock: it may be the last reference.
    });
    Share& share = shares[user];
    ++share.open;
    ++share.pending;
    ++openTotal;
    std::shared_ptr<ListenerDelegate> currentDelegate;
    {
        std::lock_guard lock(mutex);
        connections.emplace(key, connection);
        currentDelegate = delegate;
    }
    auto timer = std::make_unique<dispatch::OneShotTimer>(queue);
    timer->schedule(options.decisionTimeLimitSeconds,
                    [weakConnection = std::weak_ptr<Connection>(connection)] {
                        if (auto expired = weakConnection.lock()) {
                            expired->refuseDecision();
                        }
                    });
    pendingDecisions.emplace(key, PendingDecision{user, std::move(timer)});
    connection->decide(std::move(currentDelegate), [weak = weak_from_this(), key] {
        if (auto self = weak.lock()) {
            self->queue.async([weak, key] {
                if (auto state = weak.lock()) {
                    state->decisionFinished(key);
                }
            });
        }
    });
}

void Listener::State::decisionFinished(Connection* key) {
    const auto found = pendingDecisions.find(key);
    if (found == pendingDecisions.end()) {
        return;
    }
    const uid_t user = found->second.user;
    pendingDecisions.erase(found);
    --shares[user].pending;
    forgetIfEmpty(user);
    serveLines();
}

void Listener::State::connectionClosed(uid_t user) {
    --shares[user].open;
    --openTotal;
    forgetIfEmpty(user);
    serveLines();
}

void Listener::State::forgetIfEmpty(uid_t user) {
    const auto found = shares.find(user);
    // A connection closed during its decision is forgotten once the decision has ended too.
    if (found != shares.end() && found->second.open == 0 && found->second.pending == 0 &&
        found->second.line.empty()) {
        shares.erase(found);
    }
}

void Listener::State::stopOnQueue() {
    accepting = false;
    retryTimer.cancel();
    // Connections still in a line were never decided: they close with the listener.
    for (auto& [user, share] : shares) {
        waitingTotal -= share.line.size();
        share.line.clear();
    }
    std::erase_if(shares, [](const auto& entry) {
        return entry.second.open == 0 && entry.second.pending == 0;
    });
    if (acceptor) {
        std::error_code ignored;
        acceptor->close(ignored);
        acceptor.reset();
    }
    if (boundSocketFile) {
        // Remove the file only while it is still the one this listener bound.
        struct stat info {};
        if (::lstat(socketPath.c_str(), &info) == 0 && info.st_dev == boundSocketFile->first &&
            info.st_ino == boundSocketFile->second) {
            ::unlink(socketPath.c_str());
        }
        boundSocketFile.reset();
    }
    if (lockDescriptor >= 0) {
        ::close(lockDescriptor);  // gives the name up
        lockDescriptor = -1;
    }
}

Listener::Listener(std::string serviceName, ListenerOptions options) {
    ignoreSIGPIPE();
    auto path = serviceSocketPath(serviceName);
    state_ = std::make_shared<State>(std::move(serviceName), std::move(path), options);
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
    for (auto& entry : connections) {
        Connection& connection = *entry.second;
        connection.queue_.sync([&connection] { connection.invalidateOnQueue(); });
    }
    state_->queue.sync([this] { state_->pendingDecisions.clear(); });
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

void Listener::claim() {
    state_->queue.sync([this] { state_->claimOnQueue(); });
}

void Listener::resume() {
    state_->queue.sync([this] {
        auto& state = *state_;
        if (state.accepting) {
            return;
        }
        state.claimOnQueue();
        state.accepting = true;
        state.startAccept();
    });
}

void Listener::invalidate() {
    state_->queue.sync([this] { state_->stopOnQueue(); });
}

}  // namespace platform::xpc
