#include "Platform/XPC/Connection.h"
#include "Platform/XPC/Frame.h"
#include "Platform/XPC/Listener.h"
#include "Platform/XPC/XPCError.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace platform::xpc;
using namespace std::chrono_literals;

const std::string kService = "com.quillmoor.Ventrella.helper";

const Interface kTestInterface{{"echo:withReply:", 1}, {"hold:withReply:", 0}};

ReplyData text(const std::string& value) {
    return ReplyData(value.begin(), value.end());
}
std::string text(const ReplyData& data) {
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
    bool waitFor(std::size_t count, std::chrono::milliseconds bound = 5000ms) {
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

class TestDelegate : public ListenerDelegate {
  public:
    bool shouldAcceptNewConnection(Connection& connection) override {
        {
            std::lock_guard lock(mutex);
            peers.emplace_back(connection.processIdentifier(),
                               connection.effectiveUserIdentifier());
            accepted.push_back(connection.shared_from_this());
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

const std::string kInvalid =
    std::string("error:") + XPCError(XPCError::Code::connectionInvalid).what();
const std::string kInterrupted =
    std::string("error:") + XPCError(XPCError::Code::connectionInterrupted).what();

// A socket speaking the wire directly, for frames no well-behaved client sends.
class RawClient {
  public:
    explicit RawClient(const std::filesystem::path& path) {
        fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        timeval timeout{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    }
    ~RawClient() { ::close(fd_); }
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
    int fd_ = -1;
    bool connected_ = false;
};

std::vector<std::uint8_t> frameWithBody(std::vector<std::uint8_t> body) {
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
        ::setenv("VIRTUAL_MAC_ROOT", root_.c_str(), 1);
    }
    void TearDown() override {
        listener_.reset();
        ::unsetenv("VIRTUAL_MAC_ROOT");
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    void startListener() {
        listener_ = std::make_unique<Listener>(kService);
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

TEST_F(ConnectionTests, RepliesReachTheCallerAndPeersAreKnownFromTheKernel) {
    startListener();
    EXPECT_EQ(listener_->socketPath(), root_ / "var/run/xpc" / (kService + ".sock"));
    EXPECT_TRUE(std::filesystem::is_socket(listener_->socketPath()));

    auto connection = client();
    EXPECT_EQ(echo(connection, 55), "reply:55");
    EXPECT_EQ(echo(connection, -7), "reply:-7");

    ASSERT_EQ(delegate_->peers.size(), 1u);
    EXPECT_EQ(delegate_->peers[0].first, ::getpid());
    EXPECT_EQ(delegate_->peers[0].second, ::geteuid());
    EXPECT_EQ(connection->processIdentifier(), ::getpid());
    EXPECT_EQ(connection->effectiveUserIdentifier(), ::geteuid());

    connection->invalidate();
    EXPECT_TRUE(handlers_.waitFor(1));
    EXPECT_EQ(handlers_.all(), std::vector<std::string>{"invalidated"});
}

TEST_F(ConnectionTests, MessagesSentBeforeResumeWaitForIt) {
    startListener();
    auto connection = Connection::connectToService(kService, {true, 0});
    Outcome outcome;
    outcome.proxyFor(connection).send("echo:withReply:", {3}, outcome.replyHandler());
    EXPECT_FALSE(outcome.events.waitFor(1, 50ms));
    EXPECT_TRUE(delegate_->calls.all().empty());
    connection->resume();
    ASSERT_TRUE(outcome.events.waitFor(1));
    EXPECT_EQ(outcome.events.all(), std::vector<std::string>{"reply:3"});
    connection->invalidate();
}

TEST_F(ConnectionTests, RefusedPeerIsClosedUnread) {
    delegate_->accept = false;
    startListener();
    RawClient raw(listener_->socketPath());
    ASSERT_TRUE(raw.connected());
    // The refusal may close the socket before or after these bytes arrive.
    raw.write(encodeFrame(RequestMessage{1, "echo:withReply:", {1}}));
    EXPECT_TRUE(raw.closedByPeer());
    EXPECT_TRUE(delegate_->service->invocations.all().empty());

    // A well-behaved client sees its message fail, not hang.
    auto connection = client();
    Outcome outcome;
    outcome.proxyFor(connection).send("echo:withReply:", {1}, outcome.replyHandler());
    ASSERT_TRUE(outcome.events.waitFor(1));
    EXPECT_EQ(outcome.events.all(), std::vector<std::string>{kInterrupted});
    ASSERT_TRUE(handlers_.waitFor(1));
    EXPECT_EQ(handlers_.all(), std::vector<std::string>{"interrupted"});
    EXPECT_TRUE(delegate_->service->invocations.all().empty());
    closeAndWait(connection);
}

TEST_F(ConnectionTests, ReplyBlockDeliversOnlyOnce) {
    startListener();
    auto connection = client();
    Outcome outcome;
    outcome.proxyFor(connection).send("hold:withReply:", {}, outcome.replyHandler());
    ASSERT_TRUE(delegate_->service->invocations.waitFor(1));
    auto reply = delegate_->service->heldReply(0);
    ASSERT_TRUE(reply);
    std::thread other([reply] { (*reply)(text("first")); });
    other.join();
    (*reply)(text("second"));
    ASSERT_TRUE(outcome.events.waitFor(1));
    // A second frame for the same call would have made the client drop the
    // connection; the next message proves it did not.
    EXPECT_EQ(echo(connection, 1), "reply:1");
    EXPECT_EQ(outcome.events.all(), std::vector<std::string>{"reply:first"});
    EXPECT_TRUE(handlers_.all().empty());
    closeAndWait(connection);
}

TEST_F(ConnectionTests, BadFramesCloseOnlyTheirOwnConnection) {
    startListener();
    auto good = client();
    EXPECT_EQ(echo(good, 1), "reply:1");

    std::vector<std::vector<std::uint8_t>> badFrames;
    // Over the cap: closed on the header, the body is never awaited.
    badFrames.push_back({0x00, 0x10, 0x00, 0x01});
    badFrames.push_back({0, 0, 0, 0});                       // empty body
    badFrames.push_back(frameWithBody({0x01, 0x02, 0x03}));  // unparseable
    badFrames.push_back(encodeFrame(RequestMessage{1, "unknown:withReply:", {}}));
    badFrames.push_back(encodeFrame(RequestMessage{2, "echo:withReply:", {1, 2}}));
    badFrames.push_back(encodeFrame(ReplyMessage{3, text("not a request")}));

    for (std::size_t i = 0; i < badFrames.size(); ++i) {
        RawClient raw(listener_->socketPath());
        ASSERT_TRUE(raw.connected());
        ASSERT_TRUE(raw.awaitAcceptance());
        ASSERT_TRUE(raw.write(badFrames[i]));
        EXPECT_TRUE(raw.closedByPeer()) << "frame " << i;
        EXPECT_EQ(echo(good, static_cast<std::int64_t>(i)), "reply:" + std::to_string(i));
    }
    EXPECT_EQ(delegate_->service->invocations.all().size(), badFrames.size() + 1);
    EXPECT_TRUE(handlers_.all().empty());
    closeAndWait(good);
}

TEST_F(ConnectionTests, ReplyAfterThePeerLeftEndsNothing) {
    startListener();
    // With the default action a write to a closed socket would end the process
    // unless the sends themselves suppress the signal.
    std::signal(SIGPIPE, SIG_DFL);

    auto leaving = client();
    Outcome outcome;
    outcome.proxyFor(leaving).send("hold:withReply:", {}, outcome.replyHandler());
    ASSERT_TRUE(delegate_->service->invocations.waitFor(1));
    leaving->invalidate();
    ASSERT_TRUE(outcome.events.waitFor(1));
    EXPECT_EQ(outcome.events.all(), std::vector<std::string>{kInvalid});
    ASSERT_TRUE(handlers_.waitFor(1));
    leaving.reset();

    auto reply = delegate_->service->heldReply(0);
    ASSERT_TRUE(reply);
    (*reply)(text("late"));
    (*reply)(ReplyData(kMaximumReplyDataSize));

    auto next = client();
    EXPECT_EQ(echo(next, 9), "reply:9");
    closeAndWait(next);
}

TEST_F(ConnectionTests, PrivilegedClientRefusesAListenerOfAnotherUser) {
    startListener();
    auto connection = client({true, ::geteuid() + 1});
    Outcome outcome;
    outcome.proxyFor(connection).send("echo:withReply:", {1}, outcome.replyHandler());
    ASSERT_TRUE(outcome.events.waitFor(1));
    EXPECT_EQ(outcome.events.all(), std::vector<std::string>{kInvalid});
    ASSERT_TRUE(handlers_.waitFor(1));
    EXPECT_EQ(handlers_.all(), std::vector<std::string>{"invalidated"});
    EXPECT_TRUE(delegate_->service->invocations.all().empty());

    // Without the privileged option the same listener is fine.
    auto plain = client({false, ::geteuid() + 1});
    EXPECT_EQ(echo(plain, 2), "reply:2");
    closeAndWait(plain);
}

TEST_F(ConnectionTests, InterruptedConnectionReconnectsOnTheNextMessage) {
    startListener();
    auto connection = client();
    Outcome held;
    held.proxyFor(connection).send("hold:withReply:", {}, held.replyHandler());
    ASSERT_TRUE(delegate_->service->invocations.waitFor(1));

    // The helper side goes away while a message is in flight.
    delegate_->acceptedConnection(0)->invalidate();
    ASSERT_TRUE(held.events.waitFor(1));
    EXPECT_EQ(held.events.all(), std::vector<std::string>{kInterrupted});
    ASSERT_TRUE(handlers_.waitFor(1));
    EXPECT_EQ(handlers_.all(), std::vector<std::string>{"interrupted"});

    EXPECT_EQ(echo(connection, 4), "reply:4");
    EXPECT_EQ(delegate_->calls.all().size(), 2u);
    connection->invalidate();
    ASSERT_TRUE(handlers_.waitFor(2));
    EXPECT_EQ(handlers_.all(), (std::vector<std::string>{"interrupted", "invalidated"}));
}

TEST_F(ConnectionTests, InvalidatedConnectionStaysUnusable) {
    startListener();
    auto connection = client();
    Outcome held;
    held.proxyFor(connection).send("hold:withReply:", {}, held.replyHandler());
    ASSERT_TRUE(delegate_->service->invocations.waitFor(1));
    connection->invalidate();
    ASSERT_TRUE(held.events.waitFor(1));
    EXPECT_EQ(held.events.all(), std::vector<std::string>{kInvalid});

    EXPECT_EQ(echo(connection, 5), kInvalid);
    connection->invalidate();
    EXPECT_EQ(echo(connection, 6), kInvalid);
    EXPECT_EQ(handlers_.all(), std::vector<std::string>{"invalidated"});
    EXPECT_EQ(delegate_->calls.all().size(), 1u);

    // The late reply of the held request goes nowhere.
    (*delegate_->service->heldReply(0))(text("late"));
    EXPECT_EQ(held.events.all().size(), 1u);
}

TEST_F(ConnectionTests, MissingServiceInvalidatesAndRemovedHandlersStaySilent) {
    auto connection = client();
    EXPECT_EQ(echo(connection, 1), kInvalid);
    ASSERT_TRUE(handlers_.waitFor(1));
    EXPECT_EQ(handlers_.all(), std::vector<std::string>{"invalidated"});

    startListener();
    Events silent;
    auto dropped = Connection::connectToService(kService, {true, 0});
    dropped->setInvalidationHandler([&] { silent.add("invalidated"); });
    dropped->resume();
    EXPECT_EQ(echo(dropped, 2), "reply:2");
    dropped->setInvalidationHandler(nullptr);
    dropped->invalidate();
    EXPECT_EQ(echo(dropped, 3), kInvalid);
    EXPECT_TRUE(silent.all().empty());
}

TEST_F(ConnectionTests, ListenerReplacesAStaleSocketButNoOtherFile) {
    startListener();
    const auto path = listener_->socketPath();
    // A crashed process leaves its socket file behind; a new listener takes over.
    listener_ = std::make_unique<Listener>(kService);
    listener_->setDelegate(delegate_);
    listener_->resume();
    auto connection = client();
    EXPECT_EQ(echo(connection, 8), "reply:8");
    closeAndWait(connection);
    listener_.reset();
    EXPECT_FALSE(std::filesystem::exists(path));

    std::filesystem::create_directories(path.parent_path());
    { std::ofstream(path) << "not a socket"; }
    Listener blocked(kService);
    try {
        blocked.resume();
        ADD_FAILURE() << "bound over a regular file";
    } catch (const XPCError& error) {
        EXPECT_EQ(error.code(), XPCError::Code::listenerSetupFailed);
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

}  // namespace

TEST_F(ConnectionTests, DestroyedListenerHoldsNothingItsConnectionsExported) {
    startListener();
    auto connection = Connection::connectToService(kService, ConnectionOptions{true, 0});
    connection->setRemoteObjectInterface(kTestInterface);
    connection->resume();
    ASSERT_EQ(echo(connection, 1), "reply:1");
    EXPECT_GT(delegate_->service.use_count(), 1) << "the accepted connection holds the service";

    // The connection is still busy with a request when the listener goes: its owner may
    // destroy what the exported objects refer to right after the listener all the same.
    delegate_->service->busyMilliseconds = 200;
    Outcome outcome;
    outcome.proxyFor(connection).send("hold:withReply:", {}, outcome.replyHandler());
    ASSERT_TRUE(delegate_->service->started.waitFor(2));
    listener_.reset();
    EXPECT_EQ(delegate_->service.use_count(), 1);
    EXPECT_TRUE(outcome.events.waitFor(1)) << "the held request ends in an error";
    connection->invalidate();
}
