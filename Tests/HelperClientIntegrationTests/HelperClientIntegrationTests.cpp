#include "Ventrella/Hardware/HelperClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HelperClientIntegrationTests/ScriptedHelperListener.h"
#include "Platform/Dispatch/ManualExecutor.h"
#include "Platform/Dispatch/TaskScope.h"
#include "Support/AwaitedOutcome.h"
#include "Support/Eventually.h"
#include "Support/ObservedHelperConnections.h"
#include "Support/TemporaryPlatformRoot.h"
#include "Support/VirtualTimeoutScheduler.h"
#include "Ventrella/Hardware/XPCHelperConnection.h"

namespace helperclienttests {
namespace {

using namespace ventrella;
using namespace std::chrono_literals;
using apphardware::HelperClient;
using apphardware::XPCHelperConnection;
using platform::dispatch::ManualExecutor;
using platform::dispatch::Task;
using platform::dispatch::TaskScope;
using testing::ElementsAre;
using testsupport::AwaitedOutcome;
using Answer = ScriptedHelperListener::Answer;

// The listener in this process runs as this user; the client insists on that user, as it
// insists on root for the real helper.
platform::xpc::ConnectionOptions ownUserOptions() {
    auto options = XPCHelperConnection::privilegedOptions();
    options.requiredListenerUserIdentifier = ::geteuid();
    return options;
}

// The real client over the XPC layer to a scripted helper in this process; the reply timeout
// runs on the executor's virtual time, the transport in real time.
struct Fixture {
    testsupport::TemporaryPlatformRoot root;
    ScriptedHelperListener helper;
    ManualExecutor executor;
    testsupport::ObservedHelperConnections connections{
        XPCHelperConnection::factory(ownUserOptions())};
    std::shared_ptr<fakes::VirtualTimeoutScheduler> timeouts =
        std::make_shared<fakes::VirtualTimeoutScheduler>(executor);
    HelperClient client{connections.factory(), timeouts};
    std::vector<std::shared_ptr<void>> outcomes;
    TaskScope scope{executor};

    template <class T>
    std::shared_ptr<AwaitedOutcome<T>> start(Task<T> task) {
        auto outcome = std::make_shared<AwaitedOutcome<T>>();
        outcomes.push_back(outcome);
        scope.spawn(testsupport::awaitInto(std::move(task), outcome.get()));
        executor.runUntilIdle();
        return outcome;
    }

    template <class T>
    std::shared_ptr<AwaitedOutcome<T>> run(Task<T> task) {
        auto outcome = start(std::move(task));
        executor.runUntil([&] { return outcome->finished(); }, testsupport::eventDeadlineSeconds);
        return outcome;
    }
};

TEST(HelperClientIntegrationTests, EachRequestReachesTheHelperAndItsPayloadComesBack) {
    Fixture fixture;
    fixture.helper.start();
    auto status = fixture.run(fixture.client.status());
    auto takeover = fixture.run(fixture.client.prepareTakeover());
    auto apply = fixture.run(fixture.client.applyCooling(65));
    auto restore = fixture.run(fixture.client.restoreAutomatic());

    ASSERT_TRUE(status->value) << status->errorText();
    EXPECT_EQ(status->value->fans.size(), 1U);
    ASSERT_TRUE(takeover->value) << takeover->errorText();
    EXPECT_EQ(takeover->value->state, shared::HelperControlState::automatic);
    ASSERT_TRUE(apply->value) << apply->errorText();
    EXPECT_EQ(apply->value->appliedPercentage, 65);
    EXPECT_EQ(apply->value->state, shared::HelperControlState::manual);
    ASSERT_TRUE(restore->value) << restore->errorText();
    EXPECT_FALSE(restore->value->appliedPercentage);

    std::vector<std::string> selectors;
    for (const auto& request : fixture.helper.requests()) {
        selectors.push_back(request.selector);
    }
    EXPECT_THAT(selectors,
                ElementsAre("statusWithReply:", "prepareTakeoverWithReply:",
                            "applyCoolingWithPercentage:withReply:", "restoreAutomaticWithReply:"));
    EXPECT_THAT(fixture.helper.requests()[2].arguments, ElementsAre(65));
    EXPECT_EQ(fixture.connections.opened(), 1);
}

TEST(HelperClientIntegrationTests, EachFailureHasItsTextAndOnlyConnectionErrorsDropTheConnection) {
    struct Case {
        const char* name;
        Answer answer;
        std::string text;
        std::string error;
        bool connectionDropped;
    };
    const Case cases[] = {
        {"the helper reports an error", Answer::text,
         R"({"protocolVersion":4,"errorMessage":"Fan 1 did not accept its target."})",
         "Fan 1 did not accept its target.", false},
        {"a reply that does not decode", Answer::text, "<html>",
         "Ventrella Helper returned an invalid response.", false},
        {"another protocol version", Answer::text,
         R"({"protocolVersion":3,"payload":{"state":"automatic","fans":[]}})",
         "The Ventrella Fan Helper protocol version does not match. An update is required.", false},
        {"a reply without payload", Answer::text, R"({"protocolVersion":4})",
         "The Helper returned an empty response.", false},
        {"no reply within 18 s", Answer::hold, "", "Ventrella Helper did not respond.", false},
        {"the helper closes the connection", Answer::closeConnection, "",
         "The connection was interrupted.", true},
        {"nothing listens", Answer::wellFormed, "", "The connection was invalidated.", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture fixture;
        const bool listening = std::string(c.name) != "nothing listens";
        if (listening) {
            fixture.helper.start();
        }
        fixture.helper.answerWith(c.answer, c.text);

        auto failed = fixture.start(fixture.client.applyCooling(60));
        if (c.answer == Answer::hold) {
            ASSERT_TRUE(fixture.helper.waitForRequests(1));
            fixture.executor.advanceBy(HelperClient::replyTimeoutSeconds);
        }
        fixture.executor.runUntil([&] { return failed->finished(); },
                                  testsupport::eventDeadlineSeconds);
        EXPECT_EQ(failed->errorText(), c.error);
        // A reply that comes too late finds the call over.
        fixture.helper.releaseHeld(ScriptedHelperListener::wellFormedReply({"", {}}));

        // The helper answers again: the next call goes over the same connection or a new one.
        if (!listening) {
            fixture.helper.start();
        }
        fixture.helper.answerWith(Answer::wellFormed);
        auto next = fixture.run(fixture.client.applyCooling(70));
        ASSERT_TRUE(next->value) << next->errorText();
        EXPECT_EQ(next->value->appliedPercentage, 70);
        EXPECT_EQ(failed->resumptions, 1);
        EXPECT_EQ(fixture.connections.opened(), c.connectionDropped ? 2 : 1);
    }
}

TEST(HelperClientIntegrationTests, AConnectionInterruptedBetweenCallsIsReopenedByTheNextCall) {
    // Closed by the helper as it quits, or for staying silent past the helper's limit.
    for (const bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent" : "closed");
        Fixture fixture;
        platform::xpc::ListenerOptions options;
        if (silent) {
            options.idleTimeLimitSeconds = 0.2;
        }
        fixture.helper.start(options);
        ASSERT_TRUE(fixture.run(fixture.client.status())->value);
        if (!silent) {
            fixture.helper.closeConnections();
        }
        ASSERT_TRUE(fixture.connections.waitForInterruptions(1));
        auto again = fixture.run(fixture.client.status());
        EXPECT_TRUE(again->value) << again->errorText();
        EXPECT_EQ(fixture.connections.opened(), 2);
    }
}

TEST(HelperClientIntegrationTests, ResetConnectionFailsAWaitingCallAtOnce) {
    Fixture fixture;
    fixture.helper.start();
    fixture.helper.answerWith(Answer::hold);
    auto waiting = fixture.start(fixture.client.restoreAutomatic());
    ASSERT_TRUE(fixture.helper.waitForRequests(1));

    fixture.client.resetConnection();
    fixture.executor.runUntil([&] { return waiting->finished(); },
                              testsupport::eventDeadlineSeconds);
    EXPECT_EQ(waiting->errorText(), "The connection was invalidated.");
    EXPECT_EQ(fixture.executor.uptime(), 0.0) << "not after the reply timeout";
    EXPECT_EQ(fixture.timeouts->armedCount(), 0U);

    fixture.helper.answerWith(Answer::wellFormed);
    EXPECT_TRUE(fixture.run(fixture.client.status())->value);
    EXPECT_EQ(fixture.connections.opened(), 2);
}

TEST(HelperClientIntegrationTests, SynchronousRestoreWaitsAtMostItsTimeout) {
    // A helper that never answers is waited for the whole timeout, and for less than the
    // client's reply timeout (which a wait that ignored its own would reach); an answer, or no
    // listener at all, ends the wait before even a generous timeout.
    struct Case {
        const char* name;
        bool listening;
        Answer answer;
        double timeoutSeconds;
    };
    const Case cases[] = {
        {"a helper that never answers", true, Answer::hold, 2.0},
        {"a helper that answers", true, Answer::wellFormed, testsupport::eventDeadlineSeconds},
        {"nothing listens", false, Answer::wellFormed, testsupport::eventDeadlineSeconds},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture fixture;
        if (c.listening) {
            fixture.helper.start();
        }
        fixture.helper.answerWith(c.answer);
        const auto start = std::chrono::steady_clock::now();
        fixture.client.restoreAutomaticSynchronously(c.timeoutSeconds);
        const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
        if (c.answer == Answer::hold) {
            EXPECT_GE(waited.count(), c.timeoutSeconds);
            EXPECT_LT(waited.count(), HelperClient::replyTimeoutSeconds);
        } else {
            EXPECT_LT(waited.count(), c.timeoutSeconds);
        }
        if (c.listening) {
            ASSERT_TRUE(fixture.helper.waitForRequests(1));
            EXPECT_EQ(fixture.helper.requests()[0].selector, "restoreAutomaticWithReply:");
        }
    }
}

}  // namespace
}  // namespace helperclienttests
