#include "ConnectionFixture.h"

#include <csignal>

namespace {

using namespace xpctest;

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

TEST_F(ConnectionTests, LargestReplyCrossesManyRecordsIntact) {
    startListener();
    auto connection = client();
    Outcome outcome;
    outcome.proxyFor(connection).send("hold:withReply:", {}, outcome.replyHandler());
    ASSERT_TRUE(delegate_->service->invocations.waitFor(1));
    ReplyData large(kMaximumReplyDataSize);
    for (std::size_t i = 0; i < large.size(); ++i) {
        large[i] = static_cast<std::uint8_t>(i * 7);
    }
    (*delegate_->service->heldReply(0))(large);
    ASSERT_TRUE(outcome.events.waitFor(1));
    EXPECT_TRUE(outcome.events.all().front() == "reply:" + text(large));
    EXPECT_EQ(echo(connection, 2), "reply:2");
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

}  // namespace
