// Operations that meet at the helper's replies, with the replies released in chosen orders. The
// fixture checks after every step (and before every published write) that ownership goes with a
// target and that the epoch never decreases.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using core::GuardMode;

class InterleavingTests : public ModelTest {
  protected:
    // Monitoring with control on; the loop reads 85 °C and asks for Boost at its third sample,
    // then reads `afterwards`. The Boost request is left waiting.
    void boostUnderWay(double afterwards = 85) {
        makeModel();
        startMonitoringWith({snapshotAt(60), snapshotAt(85), snapshotAt(85), snapshotAt(85),
                             snapshotAt(afterwards)});
        switchControlOn();
        for (int sample = 0; sample < 3; ++sample) {
            nextCycle();
        }
        ASSERT_EQ(helper->pendingCount(), 1U);
        ASSERT_EQ(helper->nextPending().percentage, 55);
    }

    // Boost applied and owned; the loop's renewal 15 s later is left waiting.
    void renewalUnderWay() {
        boostUnderWay();
        reply(State::manual, fansIn(Mode::manual), 55);
        ASSERT_TRUE(peer->ownsManualControl());
        for (int cycle = 0; cycle < 5; ++cycle) {
            nextCycle();
        }
        ASSERT_EQ(helper->pendingCount(), 1U);
        ASSERT_EQ(nextRequest(), Request::applyCooling) << "the renewal";
    }

    std::vector<Request> requestsSince(std::size_t count) const {
        std::vector<Request> kinds;
        for (std::size_t index = count; index < helper->requests().size(); ++index) {
            kinds.push_back(helper->requests()[index].request);
        }
        return kinds;
    }
};

TEST_F(InterleavingTests, SwitchingOffDuringAnApplyCostsOneRestoreAndClaimsNothing) {
    boostUnderWay();
    const auto requests = requestCount();
    model->requestControl(false);
    run("switching off");
    EXPECT_FALSE(model->controlEnabled());
    EXPECT_EQ(helper->pendingCount(), 1U) << "the model holds nothing yet";

    reply(State::manual, fansIn(Mode::manual), 55);
    ASSERT_EQ(nextRequest(), Request::restoreAutomatic) << "the stale reply is answered";
    reply(State::automatic, fansIn(Mode::automatic));
    EXPECT_FALSE(peer->ownsManualControl());
    EXPECT_FALSE(peer->manualStateUncertain());
    EXPECT_EQ(model->statusMessage(), "Fan control is off; Apple Automatic is in control.");
    EXPECT_EQ(sink->count("control.target_applied"), 0U);
    EXPECT_THAT(requestsSince(requests), testing::ElementsAre(Request::restoreAutomatic));
}

TEST_F(InterleavingTests, WillSleepDuringAFirstApplyDoesNothingAndTheGapAfterTheSleepRestores) {
    boostUnderWay();
    const auto sleep = workspace->postWillSleep();
    run("will-sleep");
    EXPECT_TRUE(sleep.acknowledged()) << "nothing is held yet";
    EXPECT_EQ(helper->pendingCount(), 1U);

    reply(State::manual, fansIn(Mode::manual), 55);
    EXPECT_TRUE(peer->ownsManualControl()) << "the reply claims the fans";
    EXPECT_EQ(model->guardMode(), GuardMode::boost());

    uptime->sleepMachine(60.0);
    nextCycle();
    ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
    reply(State::automatic, fansIn(Mode::automatic));
    EXPECT_FALSE(peer->ownsManualControl());
    EXPECT_FALSE(model->controlEnabled());
    EXPECT_EQ(sink->last("control.disabled")->message,
              "Sleep or wake detected; Apple Automatic was restored.");
}

TEST_F(InterleavingTests, AClaimAfterDidWakeResetThePolicyEndsAtTheNextRenewal) {
    boostUnderWay(60);
    workspace->postDidWake();
    run("did-wake");
    EXPECT_EQ(peer->policy().currentIndex(), -1);
    reply(State::manual, fansIn(Mode::manual), 55);
    ASSERT_TRUE(peer->ownsManualControl()) << "owning at Apple Automatic";

    while (helper->pendingCount() == 0) {
        nextCycle();
    }
    ASSERT_EQ(nextRequest(), Request::restoreAutomatic) << "no renewal of a lost target";
    reply(State::automatic, fansIn(Mode::automatic));
    EXPECT_FALSE(peer->ownsManualControl());
    EXPECT_FALSE(model->controlEnabled());
    EXPECT_EQ(sink->last("control.fail_closed")->message, "The active fan target was lost.");
}

TEST_F(InterleavingTests, ASaveDuringARenewalWaitsForItsRestoreAndEnablesAgain) {
    renewalUnderWay();
    const auto requests = requestCount();
    auto edited = model->settings();
    edited.pollIntervalSeconds = 2;
    model->saveSettings(edited);
    run("the save");
    EXPECT_FALSE(model->controlEnabled());

    // The renewal's reply is stale by now and is answered with a restore of its own.
    reply(State::manual, fansIn(Mode::manual), 55);
    reply(State::automatic, fansIn(Mode::automatic));  // the save's restore
    EXPECT_FALSE(peer->ownsManualControl());
    reply(State::automatic, fansIn(Mode::automatic));  // the stale renewal's restore
    replyStatus();                                     // enabling again
    EXPECT_THAT(requestsSince(requests),
                testing::ElementsAre(Request::restoreAutomatic, Request::restoreAutomatic,
                                     Request::status));
    EXPECT_TRUE(model->controlEnabled());
    EXPECT_FALSE(peer->ownsManualControl());
    EXPECT_EQ(model->settings(), edited);
    EXPECT_EQ(model->statusMessage(), "Settings saved; Ventrella is active again.");
    EXPECT_FALSE(model->operationInProgress());
}

TEST_F(InterleavingTests,
       OffThenOnDuringARenewalWhoseReplyIsAppleAutomaticRelinquishesTheNewControl) {
    renewalUnderWay();
    model->requestControl(false);
    run("switching off");
    helper->replyAt(1, resultOf(State::automatic, fansIn(Mode::automatic)));
    run("the restore's reply");
    ASSERT_FALSE(model->controlEnabled());
    model->requestControl(true);
    run("switching on");
    helper->replyAt(1, shared::HelperStatus{});
    run("the status reply");
    ASSERT_TRUE(model->controlEnabled());
    const auto epoch = peer->controlEpoch();

    reply(State::automatic, fansIn(Mode::automatic));  // the old renewal
    EXPECT_FALSE(model->controlEnabled());
    EXPECT_EQ(peer->controlEpoch(), epoch + 1);
    const std::string relinquished =
        "Another app changed the fan target; Ventrella released control.";
    EXPECT_EQ(model->guardMode(), GuardMode::fault(relinquished));
    EXPECT_EQ(sink->last("control.relinquished")->message, relinquished);
}

TEST_F(InterleavingTests, SwitchingOnWhileARestoreIsOutWaitsForItsReply) {
    const std::string safeStop = "Ventrella Helper did not respond.";
    const auto owning = [&] { reply(State::manual, fansIn(Mode::manual), 55); };
    const auto renewalFails = [&] {
        owning();
        while (helper->pendingCount() == 0) {
            nextCycle();
        }
        failRequest(safeStop);
    };
    struct Case {
        const char* name;
        std::function<void()> restoreOut;
        bool restored;
        std::string expectedStatus;
        GuardMode expectedMode;
    };
    const std::vector<Case> cases = {
        {"failing closed", renewalFails, true, "Safe stop: " + safeStop,
         GuardMode::fault(safeStop)},
        {"will-sleep",
         [&] {
             owning();
             (void)workspace->postWillSleep();
         },
         true, "Apple Automatic was restored before sleep.", GuardMode::automatic()},
        {"did-wake",
         [&] {
             owning();
             workspace->postDidWake();
         },
         true, "Sleep or wake detected; Apple Automatic was restored.", GuardMode::automatic()},
        // Not owning: the apply and the restore after it failed, so the fans may hold a target.
        {"failing closed after a failed apply, and its restore fails",
         [&] {
             failRequest(safeStop);
             failRequest(safeStop);
         },
         false, "CRITICAL: Automatic mode could not be restored on every fan.",
         GuardMode::fault("Automatic mode could not be restored: The helper is gone.")},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        renewFakes();
        boostUnderWay();
        testCase.restoreOut();
        run("the restore is sent");
        ASSERT_EQ(helper->pendingCount(), 1U);
        ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
        const auto eventCount = events().size();

        model->requestControl(true);
        run("switching on");
        EXPECT_EQ(helper->pendingCount(), 1U) << "no status request to enable";
        EXPECT_THAT(eventsSince(eventCount), testing::IsEmpty());
        if (testCase.restored) {
            reply(State::automatic, fansIn(Mode::automatic));
        } else {
            failRequest("The helper is gone.");
            // The fans stay manual, by the model's own request as far as it knows.
            reader->answerSnapshot(snapshotAt(85, fansIn(Mode::manual)));
            nextCycle();
            nextCycle();
            EXPECT_FALSE(model->externalManualDetected());
            EXPECT_FALSE(model->canTakeOverControl());
            reader->answerPreflightFromNowOn(preflightOf(fansIn(Mode::manual)));
            model->requestControl(true);
            run("switching on over the leftovers");
            replyStatus();
            ASSERT_TRUE(sink->last("control.enable_failed"));
            EXPECT_EQ(sink->last("control.enable_failed")->message,
                      "A fan is being controlled manually by another app. Switch it to "
                      "Automatic in that app first.");
        }
        EXPECT_FALSE(model->controlEnabled());
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        EXPECT_EQ(model->guardMode(), testCase.expectedMode);
        EXPECT_EQ(helper->pendingCount(), 0U);
    }
}

TEST_F(InterleavingTests, TwoDisablesAtOnceCanEndInTheCriticalLine) {
    renewalUnderWay();
    reply(State::manual, fansIn(Mode::manual), 55);
    model->requestControl(false);
    run("switching off");
    const auto sleep = workspace->postWillSleep();
    run("will-sleep");
    ASSERT_EQ(helper->pendingCount(), 2U) << "both still see the fans as the model's";

    reply(State::automatic, fansIn(Mode::automatic));
    EXPECT_FALSE(peer->ownsManualControl());
    EXPECT_FALSE(sleep.acknowledged());
    failRequest("Ventrella Helper did not respond.");
    EXPECT_TRUE(sleep.acknowledged());
    EXPECT_EQ(model->statusMessage(),
              "CRITICAL: Automatic mode could not be restored on every fan.");
    EXPECT_EQ(model->guardMode(), GuardMode::fault("Automatic mode could not be restored: "
                                                   "Ventrella Helper did not respond."));
    EXPECT_FALSE(peer->ownsManualControl()) << "the first restore was verified";
}

}  // namespace
}  // namespace ventrella::modeltests
