#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class AppModelStartUpTests : public ModelTest {};

constexpr const char* approveText =
    "Approve Ventrella Fan Helper in System Settings > General > Login Items & Extensions, then "
    "return and click Update.";
constexpr const char* unverifiedText =
    "The Helper is installed, but its connection could not be verified. Ventrella will retry "
    "automatically.";
constexpr const char* installText =
    "Install the Helper to enable fan control. Temperature monitoring is still active.";

TEST_F(AppModelStartUpTests, StartsOnceWithPreflightThenHelperStatusAndObservesSleepAndWake) {
    reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
    installer->installed = true;
    makeModel();
    model->startMonitoring();
    EXPECT_THAT(events(), ElementsAre("app.model_initialized", "monitor.started"));
    EXPECT_THAT(sink->last("monitor.started")->metadata, IsEmpty());
    EXPECT_EQ(workspace->willSleepObserverCount(), 1U);
    EXPECT_EQ(workspace->didWakeObserverCount(), 1U);
    EXPECT_EQ(reader->preflightCalls(), 0U) << "the task starts on a later step";

    run("start-up");
    EXPECT_EQ(reader->preflightCalls(), 1U);
    ASSERT_TRUE(model->hardwareCapabilities());
    EXPECT_EQ(model->fans(), fansIn(Mode::automatic));
    EXPECT_EQ(sink->last("hardware.preflight_succeeded")->metadata.at("hardware"),
              "Apple M3 · Mac15,6 · Fans: 2 · per-fan mode keys · Native SMC");
    ASSERT_EQ(helper->pendingCount(), 1U);
    EXPECT_EQ(nextRequest(), Request::status);

    // A second start changes nothing.
    model->startMonitoring();
    run("a second start");
    EXPECT_EQ(sink->count("monitor.started"), 1U);
    EXPECT_EQ(workspace->willSleepObserverCount(), 1U);
    EXPECT_EQ(peer->workspaceObserverCount(), 2U);

    // The first sample waits for the helper's answer; a successful answer shows nothing of its
    // own, so the first cycle's line follows "Starting…".
    reader->answerSnapshot(snapshotAt(61.0));
    EXPECT_EQ(reader->snapshotCalls(), 0U);
    EXPECT_EQ(model->statusMessage(), "Starting…");
    replyStatus();
    EXPECT_TRUE(model->helperReady());
    EXPECT_EQ(reader->snapshotCalls(), 1U);
    EXPECT_EQ(model->statusMessage(),
              "Monitoring is active; Apple Automatic is controlling the fans.");
    EXPECT_EQ(sink->count("helper.status_failed"), 0U);
    EXPECT_EQ(model->currentTemperature(), 61.0);

    model.reset();
    EXPECT_EQ(workspace->willSleepObserverCount() + workspace->didWakeObserverCount(), 0U);
}

TEST_F(AppModelStartUpTests, HelperStatusRetriesThenTellsWhatToDo) {
    struct Case {
        const char* name;
        int attempts;
        int failures;  // before the first success; attempts or more: it never answers
        bool showFailureStatus;
        bool installed;
        bool approvalPending;
        bool expectedResult;
        std::string expectedStatus;
    };
    const std::vector<Case> cases = {
        {"zero attempts make one", 0, 0, true, false, false, true, "Starting…"},
        {"success on the second attempt", 3, 1, true, true, false, true, "Starting…"},
        {"awaiting approval", 3, 3, true, true, true, false, approveText},
        {"installed but unreachable", 3, 3, true, true, false, false, unverifiedText},
        {"not installed", 3, 3, true, false, false, false, installText},
        {"the loop's quiet retry", 1, 1, false, true, false, false, "Starting…"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        installer->installed = testCase.installed;
        helperApprovalPending = testCase.approvalPending;
        makeModel();
        sink->clear();
        const int resetsBefore = helper->resetCount();
        const std::size_t requestsBefore = requestCount();
        advance(7.0);
        const double started = executor.uptime();

        testsupport::AwaitedOutcome<bool> outcome;
        scope->spawn(testsupport::awaitInto(
            peer->refreshHelperStatus(testCase.attempts, 0.5, testCase.showFailureStatus),
            &outcome));
        run("the refresh");
        EXPECT_EQ(peer->lastHelperRetryUptime(), started);
        const int expectedRequests =
            std::min(std::max(testCase.attempts, 1), testCase.failures + 1);
        for (int attempt = 1; attempt <= expectedRequests; ++attempt) {
            ASSERT_EQ(helper->pendingCount(), 1U) << "attempt " << attempt;
            if (attempt <= testCase.failures) {
                failRequest("Could not connect to Ventrella Helper.");
                EXPECT_FALSE(model->helperReady());
                advance(0.5);
            } else {
                replyStatus();
            }
        }
        ASSERT_TRUE(outcome.finished());
        EXPECT_EQ(outcome.value, testCase.expectedResult);
        EXPECT_EQ(requestCount() - requestsBefore, static_cast<std::size_t>(expectedRequests));
        EXPECT_EQ(helper->resetCount() - resetsBefore,
                  std::min(testCase.failures, expectedRequests));
        EXPECT_EQ(model->helperReady(), testCase.expectedResult);
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        if (testCase.expectedResult) {
            EXPECT_THAT(events(), ElementsAre("helper.status_succeeded"));
            EXPECT_EQ(sink->last("helper.status_succeeded")->metadata.at("attempt"),
                      std::to_string(expectedRequests));
            EXPECT_TRUE(model->helperInstalled());
            EXPECT_FALSE(model->helperApprovalPending());
        } else {
            EXPECT_THAT(events(), ElementsAre("helper.status_failed"));
            const auto failed = sink->last("helper.status_failed");
            EXPECT_EQ(failed->level, Level::warning);
            EXPECT_EQ(failed->message, "Could not connect to Ventrella Helper.");
        }
    }
}

TEST_F(AppModelStartUpTests, ACancelledRetryEndsQuietly) {
    reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
    makeModel();
    model->startMonitoring();
    run("start-up");
    failRequest("Ventrella Helper did not respond.");
    peer->monitorTask().cancel();
    run("the cancellation");
    EXPECT_TRUE(peer->monitorTask().isFinished());
    EXPECT_EQ(requestCount(), 1U) << "no second attempt";
    EXPECT_EQ(sink->count("helper.status_failed"), 0U);
    EXPECT_EQ(model->statusMessage(), "Starting…");
}

TEST_F(AppModelStartUpTests,
       AFailedPreflightPublishesCapabilitiesThatCannotControlAndKeepsTheFans) {
    reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
    reader->failPreflight(std::make_exception_ptr(
        core::VentrellaError::unsupportedHardware("Valid fan limits or mode could not be read.")));
    makeModel();
    model->startMonitoring();
    run("start-up");
    start(peer->refreshHardwareStatus());

    shared::HardwareCapabilities expected;
    expected.model = "unknown";
    expected.fanCount = 2;
    expected.reason = "Valid fan limits or mode could not be read.";
    EXPECT_EQ(model->hardwareCapabilities(), expected);
    EXPECT_EQ(model->fans(), fansIn(Mode::automatic)) << "the known fans stay";
    const auto failed = sink->last("hardware.preflight_failed");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->level, Level::error);
    EXPECT_EQ(failed->message, "Valid fan limits or mode could not be read.");
    EXPECT_EQ(model->hardwareSummary(), "unknown · Fans: 2 · Native SMC");

    // At start-up no fan is known yet.
    makeModel();
    model->startMonitoring();
    run("start-up");
    ASSERT_TRUE(model->hardwareCapabilities());
    EXPECT_EQ(model->hardwareCapabilities()->fanCount, 0);
    EXPECT_FALSE(model->hardwareCapabilities()->canMonitor);
}

TEST_F(AppModelStartUpTests, SleepIsHeldUntilTheModelHasHandledItOnItsMainThread) {
    reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
    makeModel();
    model->startMonitoring();
    run("start-up");

    // The workspace delivers on a thread of its own.
    std::optional<fakes::FakeWorkspaceNotificationCenter::PostedSleep> sleep;
    std::thread([&] {
        sleep.emplace(workspace->postWillSleep());
        workspace->postDidWake();
    }).join();
    EXPECT_FALSE(sleep->acknowledged()) << "nothing ran on the main thread yet";
    run("the notifications");
    EXPECT_TRUE(sleep->acknowledged());

    // Notifications that arrive after the model is gone find nothing to do.
    std::thread([&] { workspace->postDidWake(); }).join();
    model.reset();
    EXPECT_NO_FATAL_FAILURE(executor.runUntilIdle());
}

}  // namespace
}  // namespace ventrella::modeltests
