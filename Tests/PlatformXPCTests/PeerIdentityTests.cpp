#include "ConnectionFixture.h"
#include "Platform/Foundation/ProcessStartTime.h"
#include "Platform/XPC/PeerProcess.h"

#include <sys/wait.h>

#include <memory>

namespace {

using namespace xpctest;

TEST_F(ConnectionTests, BytesSentBeforeTheDecisionCloseTheConnection) {
    delegate_->heldDecisions = 1;
    startListener();
    RawClient raw(listener_->socketPath());
    ASSERT_TRUE(raw.connected());
    ASSERT_TRUE(delegate_->calls.waitFor(1));
    // Written while the peer is examined, as a process does before it execs a genuine image.
    ASSERT_TRUE(raw.write(encodeFrame(RequestMessage{1, "echo:withReply:", {1}})));
    delegate_->held.open();
    EXPECT_TRUE(raw.closedByPeer());
    ASSERT_TRUE(delegate_->calls.waitFor(2));
    EXPECT_EQ(delegate_->calls.all(), (std::vector<std::string>{"holding", "accepted"}))
        << "the delegate accepted; the early bytes alone closed the connection";
    EXPECT_TRUE(delegate_->service->invocations.all().empty());

    auto connection = client();
    EXPECT_EQ(echo(connection, 2), "reply:2");
    closeAndWait(connection);
}

TEST_F(ConnectionTests, ClientHoldsItsMessagesUntilItIsAccepted) {
    delegate_->heldDecisions = 1;
    startListener();
    auto connection = client();
    Outcome outcome;
    outcome.proxyFor(connection).send("echo:withReply:", {5}, outcome.replyHandler());
    ASSERT_TRUE(delegate_->calls.waitFor(1));
    // Time enough for a client that does not wait to send its request early.
    std::this_thread::sleep_for(50ms);
    delegate_->held.open();
    ASSERT_TRUE(outcome.events.waitFor(1));
    EXPECT_EQ(outcome.events.all(), std::vector<std::string>{"reply:5"});
    EXPECT_EQ(connection->processIdentifier(), ::getpid());
    closeAndWait(connection);
}

TEST_F(ConnectionTests, RecordsFromAnotherProcessOnTheSameSocketCloseTheConnection) {
    startListener();
    const auto request = encodeFrame(RequestMessage{1, "echo:withReply:", {9}});
    for (const bool fromChild : {false, true}) {
        SCOPED_TRACE(fromChild ? "child" : "connecting process");
        RawClient raw(listener_->socketPath());
        ASSERT_TRUE(raw.connected());
        ASSERT_TRUE(raw.awaitAcceptance());
        if (fromChild) {
            // The child shares the accepted socket, as after a fork.
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                const bool sent = ::send(raw.descriptor(), request.data(), request.size(),
                                         MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
                ::_exit(sent ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            ASSERT_EQ(status, 0);
            EXPECT_TRUE(raw.closedByPeer());
        } else {
            ASSERT_TRUE(raw.write(request));
            const auto reply = raw.readRecord();
            ASSERT_TRUE(reply);
            EXPECT_EQ(*reply, encodeFrame(ReplyMessage{1, text("9")}));
        }
    }
    EXPECT_EQ(delegate_->service->invocations.all().size(), 1u);
    auto connection = client();
    EXPECT_EQ(echo(connection, 3), "reply:3");
    closeAndWait(connection);
}

TEST_F(ConnectionTests, PeerRequirementIsAskedBeforeEveryRequest) {
    auto live = std::make_shared<std::atomic<bool>>(true);
    delegate_->requirement = [live] { return live->load(); };
    startListener();
    auto connection = client();
    EXPECT_EQ(echo(connection, 1), "reply:1");
    EXPECT_EQ(echo(connection, 2), "reply:2");
    *live = false;
    EXPECT_EQ(echo(connection, 3), kInterrupted);
    ASSERT_TRUE(handlers_.waitFor(1));
    EXPECT_EQ(handlers_.all(), std::vector<std::string>{"interrupted"});
    EXPECT_EQ(delegate_->service->invocations.all().size(), 2u);
    closeAndWait(connection);
}

TEST_F(ConnectionTests, EitherWayOfPinningServesTheClient) {
    for (const auto pinning : {PeerPinning::automatic, PeerPinning::fromCredentials}) {
        ListenerOptions options;
        options.pinning = pinning;
        startListener(options);
        auto connection = client();
        EXPECT_EQ(echo(connection, 4), "reply:4");
        closeAndWait(connection);
        listener_.reset();
    }
}

// A listening socket in a private directory, for connections from other processes.
class PeerProcessTests : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/xpc-peer-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        directory_ = pattern;
        listening_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        address_.sun_family = AF_UNIX;
        std::strncpy(address_.sun_path, (directory_ / "s").c_str(), sizeof(address_.sun_path) - 1);
        ASSERT_EQ(::bind(listening_, reinterpret_cast<sockaddr*>(&address_), sizeof(address_)), 0);
        ASSERT_EQ(::listen(listening_, 8), 0);
    }
    void TearDown() override {
        ::close(listening_);
        std::filesystem::remove_all(directory_);
    }

    // Accepts a connection made by a child that exits at once; the child is left unreaped.
    int acceptFromExitedChild(pid_t& child) {
        child = ::fork();
        if (child == 0) {
            const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
            const int connected =
                ::connect(fd, reinterpret_cast<const sockaddr*>(&address_), sizeof(address_));
            ::_exit(connected == 0 ? 0 : 1);
        }
        siginfo_t info{};
        ::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT);
        return ::accept4(listening_, nullptr, nullptr, SOCK_CLOEXEC);
    }

    std::filesystem::path directory_;
    int listening_ = -1;
    sockaddr_un address_{};
};

TEST_F(PeerProcessTests, PinsTheConnectingProcessAndNoOtherByEitherMeans) {
    for (const auto pinning : {PeerPinning::automatic, PeerPinning::fromCredentials}) {
        SCOPED_TRACE(pinning == PeerPinning::automatic ? "automatic" : "from credentials");
        int pair[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
        const auto pinned =
            PeerProcess::pin(pair[0], pinning, platform::foundation::bootTimeTicks());
        ASSERT_TRUE(pinned);
        EXPECT_EQ(pinned->credentials().processIdentifier, ::getpid());
        EXPECT_EQ(pinned->credentials().effectiveUserIdentifier, ::geteuid());
        EXPECT_TRUE(pinned->isAlive());

        const SenderCredentials self{::getpid(), ::geteuid(), ::getegid(), -1};
        EXPECT_TRUE(pinned->sent(self));
        auto other = self;
        other.processIdentifier = ::getppid();
        EXPECT_FALSE(pinned->sent(other));
        ::close(pair[0]);
        ::close(pair[1]);

        // The connector has exited (its id not yet reusable): nothing to pin.
        pid_t child = 0;
        const int accepted = acceptFromExitedChild(child);
        ASSERT_GE(accepted, 0);
        EXPECT_FALSE(PeerProcess::pin(accepted, pinning, platform::foundation::bootTimeTicks()));
        ::close(accepted);
        ::waitpid(child, nullptr, 0);
    }
}

TEST_F(PeerProcessTests, FromCredentialsRefusesAProcessThatStartedAfterTheAcceptance) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair), 0);
    const auto started = platform::foundation::processStartTime(::getpid());
    ASSERT_TRUE(started);
    ASSERT_GT(*started, 0u);
    // Seen from an acceptance before this process started, its id must have been reused.
    EXPECT_FALSE(PeerProcess::pin(pair[0], PeerPinning::fromCredentials, *started - 1));
    EXPECT_TRUE(PeerProcess::pin(pair[0], PeerPinning::fromCredentials, *started));
    ::close(pair[0]);
    ::close(pair[1]);
}

}  // namespace
