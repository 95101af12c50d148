// The monitoring loop's timing: wake gaps, the helper retry, the renewal and the interval.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

class MonitoringLoopTests : public ModelTest {
  protected:
    std::size_t requestsOf(Request kind) const {
        const auto& all = helper->requests();
        return static_cast<std::size_t>(std::count_if(
            all.begin(), all.end(), [&](const auto& request) { return request.request == kind; }));
    }
};

TEST_F(MonitoringLoopTests, ACycleStartingMoreThanThirtySecondsAfterThePreviousOneIsOneGap) {
    struct Case {
        const char* name;
        double asleep;  // added to the 3-second interval
        bool gap;
    };
    for (const Case& testCase :
         {Case{"30.0 s apart", 27.0, false}, Case{"30.01 s apart", 27.01, true}}) {
        SCOPED_TRACE(testCase.name);
        renewFakes();
        makeModel();
        startMonitoringWith({snapshotAt(60)});
        const double first = executor.uptime();
        EXPECT_EQ(sink->count("system.wake_gap_detected"), 0U) << "the first cycle has no gap";
        EXPECT_EQ(peer->lastPollUptime(), first);
        // With control off the cycle leaves the policy alone, so a reset shows.
        (void)peer->policy().update(85.0, executor.uptime());

        uptime->sleepMachine(testCase.asleep);
        nextCycle();
        EXPECT_EQ(sink->count("system.wake_gap_detected"), testCase.gap ? 1U : 0U);
        EXPECT_EQ(peer->policy().aboveCounts().at(0), testCase.gap ? 0 : 1);
        EXPECT_EQ(peer->lastPollUptime(), first + 3.0 + testCase.asleep) << "set after a gap too";
        EXPECT_TRUE(model->statusMessage().starts_with("Monitoring is active")) << "then a sample";

        nextCycle();
        EXPECT_EQ(sink->count("system.wake_gap_detected"), testCase.gap ? 1U : 0U);
        if (testCase.gap) {
            const auto gap = sink->last("system.wake_gap_detected");
            EXPECT_EQ(gap->level, Level::warning);
            EXPECT_EQ(gap->message, "");
        }
    }
}

TEST_F(MonitoringLoopTests, ACycleThatWaitsOnTheHelperLongEnoughCountsAsAGapToo) {
    makeModel();
    startMonitoringWith({snapshotAt(60), snapshotAt(85)});
    switchControlOn();
    for (int sample = 0; sample < 3; ++sample) {
        nextCycle();
    }
    ASSERT_EQ(helper->nextPending().percentage, 55) << "Boost after three samples";

    // The apply times out after 18 s; the restore after it takes another 10 s.
    advance(18.0);
    failRequest("Ventrella Helper did not respond.");
    ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
    advance(10.0);
    reply(State::automatic, fansIn(Mode::automatic));
    EXPECT_EQ(sink->count("control.fail_closed"), 1U);
    EXPECT_EQ(sink->count("system.wake_gap_detected"), 0U);

    nextCycle();
    EXPECT_EQ(sink->count("system.wake_gap_detected"), 1U) << "31 s since the cycle began";
}

TEST_F(MonitoringLoopTests, AnInstalledHelperThatDoesNotAnswerIsAskedAgainOnceAMinute) {
    struct Case {
        const char* name;
        bool installed;
        bool answersAtStart;
        std::vector<double> expectedRetries;
    };
    const std::vector<Case> cases = {
        // The start-up request began at 0; the loop's cycles start at 1 + 3n.
        {"installed, not answering", true, false, {61.0, 121.0}},
        {"not installed", false, false, {}},
        {"ready", true, true, {}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        renewFakes();
        installer->installed = testCase.installed;
        makeModel();
        reader->answerSnapshot(snapshotAt(60));
        const double started = executor.uptime();
        if (testCase.answersAtStart) {
            startMonitoringNow();
        } else {
            startMonitoringUnanswered();
        }
        const std::size_t startUpRequests = requestCount();

        std::vector<double> retries;
        while (executor.uptime() < started + 130.0) {
            nextCycle();
            if (helper->pendingCount() > 0) {
                retries.push_back(executor.uptime() - started);
                EXPECT_EQ(peer->lastHelperRetryUptime(), executor.uptime());
                EXPECT_EQ(nextRequest(), Request::status);
                failRequest("Could not connect to Ventrella Helper.");
            }
        }
        EXPECT_EQ(retries, testCase.expectedRetries);
        EXPECT_EQ(requestCount(), startUpRequests + testCase.expectedRetries.size());
        EXPECT_EQ(sink->count("helper.status_failed"),
                  (testCase.answersAtStart ? 0U : 1U) + testCase.expectedRetries.size());
    }
}

TEST_F(MonitoringLoopTests, ARenewalIsDueFifteenSecondsAfterTheApplyReplyOrTheRenewingCycleBegan) {
    makeModel();
    startMonitoringWith({snapshotAt(60), snapshotAt(85)});
    switchControlOn();
    for (int sample = 0; sample < 3; ++sample) {
        nextCycle();
    }
    ASSERT_EQ(executor.uptime(), 1009.0);
    advance(2.0);
    reply(State::manual, fansIn(Mode::manual), 55);
    ASSERT_TRUE(peer->ownsManualControl());
    EXPECT_EQ(peer->lastVerificationUptime(), 1011.0) << "the apply's reply";

    // Cycles at 1014, 1017, 1020, 1023: not yet; 1026 is 15.0 s after the reply.
    while (executor.uptime() < 1023.0) {
        nextCycle();
    }
    EXPECT_EQ(requestsOf(Request::applyCooling), 1U);
    nextCycle();
    ASSERT_EQ(helper->pendingCount(), 1U);
    EXPECT_EQ(helper->nextPending().percentage, 55);

    // Its reply comes 3 s later; the next renewal is due 15 s after 1026, at the cycle of 1041
    // (cycles at 1032, 1035, 1038, 1041), not 15 s after the reply.
    advance(3.0);
    reply(State::manual, fansIn(Mode::manual), 55);
    EXPECT_EQ(peer->lastVerificationUptime(), 1026.0);
    while (executor.uptime() < 1038.0) {
        nextCycle();
    }
    EXPECT_EQ(requestsOf(Request::applyCooling), 2U);
    nextCycle();
    EXPECT_EQ(requestsOf(Request::applyCooling), 3U);
    EXPECT_EQ(executor.uptime(), 1041.0);

    // A cycle whose apply fails closed skips its renewal, due as it is (at 1056), even when
    // the model still holds the fans because every restore failed.
    reply(State::manual, fansIn(Mode::manual), 55);
    while (executor.uptime() < 1053.0) {
        nextCycle();
    }
    thermalState->set(platform::workspace::ThermalState::serious);
    nextCycle();
    ASSERT_EQ(helper->nextPending().percentage, 100);
    for (int failed = 0; failed < 3; ++failed) {  // the apply, its restore, the fail-closed one
        failRequest("Ventrella Helper did not respond.");
    }
    EXPECT_FALSE(model->controlEnabled());
    EXPECT_TRUE(peer->ownsManualControl());
    EXPECT_EQ(helper->pendingCount(), 0U) << "no renewal in that cycle";
    EXPECT_EQ(requestsOf(Request::applyCooling), 4U);
}

TEST_F(MonitoringLoopTests, TheIntervalIsReadAgainForEverySleep) {
    makeModel();
    startMonitoringWith({snapshotAt(60)});
    ASSERT_EQ(reader->snapshotCalls(), 1U);
    advance(1.0);
    auto faster = model->settings();
    faster.pollIntervalSeconds = 1;
    model->saveSettings(faster);
    run("the save");
    ASSERT_EQ(model->settings().pollIntervalSeconds, 1.0);

    advance(2.0);  // the sleep under way still lasts its 3 s
    EXPECT_EQ(reader->snapshotCalls(), 2U);
    advance(1.0);
    EXPECT_EQ(reader->snapshotCalls(), 3U);
    advance(1.0);
    EXPECT_EQ(reader->snapshotCalls(), 4U);
}

TEST_F(MonitoringLoopTests, ACancelledLoopDropsWhatItReadAndNeverFailsClosed) {
    std::atomic<bool> cancelOnRead = false;
    reader->onSnapshot = [&] {
        if (cancelOnRead) {
            peer->monitorTask().cancel();
        }
    };
    makeModel();
    reader->answerSnapshot(snapshotAt(60));
    reader->failSnapshot(std::make_exception_ptr(core::VentrellaError::commandFailed("gone")));
    startMonitoringNow();
    switchControlOn();
    peer->setSensorFailures(2);
    const auto eventCount = events().size();

    cancelOnRead = true;
    nextCycle();
    EXPECT_TRUE(peer->monitorTask().isFinished());
    EXPECT_THAT(eventsSince(eventCount), testing::IsEmpty());
    EXPECT_TRUE(model->controlEnabled());
    EXPECT_EQ(peer->sensorFailures(), 2);
    EXPECT_EQ(helper->pendingCount(), 0U);
}

}  // namespace
}  // namespace ventrella::modeltests
