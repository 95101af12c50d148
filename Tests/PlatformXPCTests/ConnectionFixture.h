#pragma once

// What the connection tests share: a listener in a private root with a delegate and an exported
// service the tests steer, clients, and a raw socket for what no well-behaved client sends.

#include "Platform/XPC/Connection.h"
#include "Platform/XPC/Frame.h"
#include "Platform/XPC/Listener.h"
#include "Platform/XPC/XPCError.h"
#include "Support/Eventually.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace xpctest {

using namespace platform::xpc;
using namespace std::chrono_literals;

inline const std::string kService = "com.quillmoor.Ventrella.helper";

inline const Interface kTestInterface{{"echo:withReply:", 1}, {"hold:withReply:", 0}};

inline ReplyData text(const std::string& value) {
    return ReplyData(value.begin(), value.end());
}
inline std::string text(const ReplyData& data) {
    return std::string(data.begin(), data.end());
}

// Waits for events that arrive on other threads, with a generous upper bound.
class Events {
  public:
    void add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
        changed_.notify_all();
    }
    bool waitFor(std::size_t count,
                 std::chrono::milliseconds bound = ventrella::testsupport::eventDeadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, bound, [&] { return events_.size() >= count; });
    }
    std::vector<std::string> all() {
        std::lock_guard lock(mutex_);
        return events_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> events_;
};

// Echoes its argument; keeps "hold" replies for the test to answer.
class TestService : public ExportedObject {
  public:
    void invoke(const std::string& selector, const std::vector<std::int64_t>& arguments,
                ReplyBlock reply) override {
        started.add(selector);
        if (busyMilliseconds > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(busyMilliseconds.load()));
        }
        if (selector == "echo:withReply:") {
            reply(text(std::to_string(arguments.at(0))));
        } else {
            std::lock_guard lock(mutex);
            held.push_back(reply);
        }
        invocations.add(selector);
    }
    std::optional<ReplyBlock> heldReply(std::size_t index) {
        std::lock_guard lock(mutex);
        if (index < held.size()) {
            return held[index];
        }
        return std::nullopt;
    }

    Events started;
    Events invocations;
    std::atomic<int> busyMilliseconds{0};  // keeps the connection's queue busy this long
    std::mutex mutex;
    std::vector<ReplyBlock> held;
};

// Opened once; every wait returns then (or after a generous bound, so that a test that failed
// before opening it leaves no thread waiting for good).
class Gate {
  public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool wait(std::chrono::milliseconds bound = ventrella::testsupport::eventDeadline) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, bound, [&] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

class TestDelegate : public ListenerDelegate {
  public:
    bool shouldAcceptNewConnection(Connection& connection) override {
        const int number = ++decisions;
        if (number <= heldDecisions) {
            calls.add("holding");
            held.wait();
        }
        if (requirement) {
            connection.setPeerRequirement(requirement);
        }
        {
            std::lock_guard lock(mutex);
            peers.emplace_back(connection.processIdentifier(),
                               connection.effectiveUserIdentifier());
            if (keepConnections) {
                accepted.push_back(connection.shared_from_this());
            }
        }
        connection.setExportedInterface(kTestInterface);
        connection.setExportedObject(service);
        if (!accept) {
            return false;  // configured, but neither resumed nor accepted
        }
        calls.add("accepted");
        connection.resume();
        return true;
    }
    std::shared_ptr<Connection> acceptedConnection(std::size_t index) {
        std::lock_guard lock(mutex);
        return accepted.at(index);
    }

    bool accept = true;
    // Kept in `accepted`; without, a connection lives only as long as the listener lists it.
    bool keepConnections = true;
    // The first heldDecisions decisions wait for the gate.
    int heldDecisions = 0;
    Gate held;
    std::atomic<int> decisions{0};
    std::function<bool()> requirement;
    std::shared_ptr<TestService> service = std::make_shared<TestService>();
    Events calls;
    std::mutex mutex;
    std::vector<std::pair<pid_t, uid_t>> peers;
    std::vector<std::shared_ptr<Connection>> accepted;
};

// What one message ended in.
struct Outcome {
    Events events;
    RemoteObjectProxy proxyFor(const std::shared_ptr<Connection>& connection) {
        return connection->remoteObjectProxyWithErrorHandler(
            [this](const XPCError& error) { events.add(std::string("error:") + error.what()); });
    }
    ReplyHandler replyHandler() {
        return [this](ReplyData data) { events.add("reply:" + text(data)); };
    }
};

inline const std::string kInvalid =
    std::string("error:") + XPCError(XPCError::Code::connectionInvalid).what();
inline const std::string kInterrupted =
    std::string("error:") + XPCError(XPCError::Code::connectionInterrupted).what();

inline constexpr uid_t kNobody = 65534;

// A socket speaking the wire directly, for frames no well-behaved client sends.
class RawClient {
  public:
    explicit RawClient(const std::filesystem::path& path) {
        fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        const sockaddr_un address = addressOf(path);
        connected_ =
            ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
        setReceiveTimeout();
    }
    // The connection of another user: made by a child running as that user, which lives as long
    // as the client. Only reading suits it (what this process wrote would not be the peer's).
    RawClient(const std::filesystem::path& path, uid_t user) {
        const sockaddr_un address = addressOf(path);
        int done[2];
        if (::pipe2(done, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe");
        }
        child_ = ::fork();
        if (child_ == 0) {
            // Nothing of this process's other connections may stay open in the child.
            ::dup2(done[1], 3);
            ::close_range(4, ~0U, 0);
            const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
            const char connected =
                fd == kChildSocket && ::setresgid(user, user, user) == 0 &&
                ::setresuid(user, user, user) == 0 &&
                ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
            (void)!::write(3, &connected, 1);
            for (;;) {
                ::pause();
            }
        }
        ::close(done[1]);
        char connected = 0;
        connected_ = ::read(done[0], &connected, 1) == 1 && connected != 0;
        ::close(done[0]);
        const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, child_, 0));
        fd_ = static_cast<int>(::syscall(SYS_pidfd_getfd, pidfd, kChildSocket, 0));
        ::close(pidfd);
        setReceiveTimeout();
    }
    ~RawClient() {
        ::close(fd_);
        if (child_ > 0) {
            ::kill(child_, SIGKILL);
            ::waitpid(child_, nullptr, 0);
        }
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;
    int descriptor() const { return fd_; }
    bool connected() const { return connected_; }
    // True once the listener's acceptance arrived as the first record.
    bool awaitAcceptance() {
        std::uint8_t buffer[64];
        const ssize_t count = ::recv(fd_, buffer, sizeof(buffer), 0);
        return count > 0 && std::vector<std::uint8_t>(buffer, buffer + count) ==
                                encodeFrame(AcceptanceMessage{});
    }
    // One record; false when the peer had already closed the connection.
    bool write(const std::vector<std::uint8_t>& bytes) {
        return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }
    // The next record, or nothing when the connection closed or the read timed out.
    std::optional<std::vector<std::uint8_t>> readRecord() {
        std::vector<std::uint8_t> buffer(kMaximumRecordSize);
        const ssize_t count = ::recv(fd_, buffer.data(), buffer.size(), 0);
        if (count <= 0) {
            return std::nullopt;
        }
        buffer.resize(static_cast<std::size_t>(count));
        return buffer;
    }
    // True when the peer closed the connection (rather than the read timing out).
    bool closedByPeer() {
        std::uint8_t buffer[64];
        for (;;) {
            const ssize_t count = ::recv(fd_, buffer, sizeof(buffer), 0);
            if (count == 0 || (count < 0 && errno == ECONNRESET)) {
                return true;
            }
            if (count < 0) {
                return false;
            }
        }
    }

  private:
    static constexpr int kChildSocket = 4;

    static sockaddr_un addressOf(const std::filesystem::path& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        return address;
    }
    void setReceiveTimeout() {
        timeval timeout{ventrella::testsupport::eventDeadline.count(), 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    }
    int fd_ = -1;
    bool connected_ = false;
    pid_t child_ = -1;
};

inline std::vector<std::uint8_t> frameWithBody(std::vector<std::uint8_t> body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    std::vector<std::uint8_t> frame{
        static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
        static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

class ConnectionTests : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/xpc-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        root_ = pattern;
        // Reachable by the other users some tests connect as.
        std::filesystem::permissions(
            root_, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                       std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                       std::filesystem::perms::others_exec);
        ::setenv("VIRTUAL_MAC_ROOT", root_.c_str(), 1);
    }
    void TearDown() override {
        listener_.reset();
        ::unsetenv("VIRTUAL_MAC_ROOT");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    void startListener(ListenerOptions options = {}) {
        listener_ = std::make_unique<Listener>(kService, options);
        listener_->setDelegate(delegate_);
        listener_->resume();
    }

    std::shared_ptr<Connection> client(ConnectionOptions options = {true, 0}) {
        auto connection = Connection::connectToService(kService, options);
        connection->setRemoteObjectInterface(kTestInterface);
        connection->setInvalidationHandler([this] { handlers_.add("invalidated"); });
        connection->setInterruptionHandler([this] { handlers_.add("interrupted"); });
        connection->resume();
        return connection;
    }

    // Sends echo and waits for the answer.
    std::string echo(const std::shared_ptr<Connection>& connection, std::int64_t value) {
        Outcome outcome;
        outcome.proxyFor(connection).send("echo:withReply:", {value}, outcome.replyHandler());
        if (!outcome.events.waitFor(1)) {
            return "timeout";
        }
        return outcome.events.all().front();
    }

    // Invalidates a connection made by client() and waits for its handler, so that
    // no handler outlives the test.
    void closeAndWait(const std::shared_ptr<Connection>& connection) {
        const auto before = handlers_.all().size();
        connection->invalidate();
        ASSERT_TRUE(handlers_.waitFor(before + 1));
        EXPECT_EQ(handlers_.all().back(), "invalidated");
    }

    std::filesystem::path root_;
    std::shared_ptr<TestDelegate> delegate_ = std::make_shared<TestDelegate>();
    std::unique_ptr<Listener> listener_;
    Events handlers_;
};

}  // namespace xpctest
