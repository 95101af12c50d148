// Sleep and wake: the workspace's notifications and the gap a sleep leaves between two cycles.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using core::GuardMode;

class SleepAndWakeTests : public ModelTest {};

constexpr const char* activeText = "Ventrella is active and monitoring the thresholds.";
constexpr const char* beforeSleepText = "Apple Automatic was restored before sleep.";
constexpr const char* wakeText = "Sleep or wake detected; Apple Automatic was restored.";
constexpr const char* criticalText = "CRITICAL: Automatic mode could not be restored on every fan.";

TEST_F(SleepAndWakeTests, SleepAndWakeGiveBackTheFansTheModelHoldsAndWakeStartsThePolicyOver) {
    enum class Notification { willSleep, didWake };
    struct Case {
        const char* name;
        Notification notification;
        bool owning;
        bool restoreFails;
        std::string expectedStatus;
        int expectedPolicyIndex;
        int expectedAboveCount;
    };
    const std::vector<Case> cases = {
        {"will-sleep, not owning", Notification::willSleep, false, false, activeText, -1, 1},
        {"will-sleep, owning", Notification::willSleep, true, false, beforeSleepText, -1, 0},
        {"will-sleep, the restore fails", Notification::willSleep, true, true, criticalText, 0, 0},
        {"did-wake, not owning", Notification::didWake, false, false, activeText, -1, 0},
        {"did-wake, owning", Notification::didWake, true, false, wakeText, -1, 0},
        // The policy starts over whatever the restore's outcome.
        {"did-wake, the restore fails", Notification::didWake, true, true, criticalText, -1, 0},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        renewFakes();
        makeModel();
        startMonitoringWith({snapshotAt(60)});
        switchControlOn();
        if (testCase.owning) {
            ownLevel(0, 55);
        } else {
            (void)peer->policy().update(85.0, executor.uptime());
        }
        const auto requests = requestCount();

        std::optional<fakes::FakeWorkspaceNotificationCenter::PostedSleep> sleep;
        if (testCase.notification == Notification::willSleep) {
            sleep.emplace(workspace->postWillSleep());
        } else {
            workspace->postDidWake();
        }
        run("the notification");
        if (testCase.owning) {
            ASSERT_EQ(helper->pendingCount(), 1U);
            EXPECT_EQ(nextRequest(), Request::restoreAutomatic);
            if (sleep) {
                EXPECT_FALSE(sleep->acknowledged()) << "the machine waits for the restore";
            }
            if (testCase.restoreFails) {
                failRequest("Ventrella Helper did not respond.");
            } else {
                reply(State::automatic, fansIn(Mode::automatic));
            }
        }
        if (sleep) {
            EXPECT_TRUE(sleep->acknowledged());
        }
        EXPECT_EQ(requestCount(), requests + (testCase.owning ? 1 : 0));
        EXPECT_EQ(model->controlEnabled(), !testCase.owning);
        EXPECT_EQ(peer->ownsManualControl(), testCase.restoreFails);
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        EXPECT_EQ(peer->policy().currentIndex(), testCase.expectedPolicyIndex);
        EXPECT_EQ(peer->policy().aboveCounts().at(0), testCase.expectedAboveCount);
        EXPECT_EQ(sink->count("system.wake_gap_detected"), 0U);
        if (testCase.owning && !testCase.restoreFails) {
            EXPECT_EQ(model->guardMode(), GuardMode::automatic());
            EXPECT_EQ(sink->last("control.disabled")->message, testCase.expectedStatus);
        }
    }
}

TEST_F(SleepAndWakeTests, AGapGivesBackTheFansTheModelHoldsAndStartsThePolicyOver) {
    for (const bool owning : {false, true}) {
        SCOPED_TRACE(owning ? "owning" : "not owning");
        renewFakes();
        makeModel();
        startMonitoringWith({snapshotAt(60), snapshotAt(85)});
        switchControlOn();
        if (owning) {
            ownLevel(0, 55);
        }
        // Two samples over Boost's threshold; a third without the reset would apply Boost.
        nextCycle();
        nextCycle();
        const auto requests = requestCount();

        uptime->sleepMachine(40.0);
        nextCycle();
        EXPECT_EQ(sink->count("system.wake_gap_detected"), 1U);
        if (owning) {
            ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
            reply(State::automatic, fansIn(Mode::automatic));
            EXPECT_FALSE(model->controlEnabled());
            EXPECT_FALSE(peer->ownsManualControl());
            // The same cycle's sample then shows what the fans do.
            EXPECT_EQ(sink->last("control.disabled")->message, wakeText);
        } else {
            EXPECT_TRUE(model->controlEnabled());
            EXPECT_EQ(model->statusMessage(), activeText);
            EXPECT_EQ(peer->policy().aboveCounts().at(0), 1) << "counted afresh";
        }
        EXPECT_EQ(requestCount(), requests + (owning ? 1 : 0));
        EXPECT_EQ(helper->pendingCount(), 0U) << "no Boost";
    }
}

}  // namespace
}  // namespace ventrella::modeltests
