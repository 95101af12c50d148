// Applying the policy's decisions, renewing the target, and giving control up.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using core::GuardMode;
using testing::ElementsAre;

class FanControlTests : public ModelTest {};

constexpr const char* unverifiedText = "The manual target could not be verified on every fan.";
constexpr const char* relinquishedText =
    "Another app changed the fan target; Ventrella released control.";
constexpr const char* lostText = "The active fan target was lost.";

TEST_F(FanControlTests, ALevelsReplyIsJudgedByEpochAndControlFirstThenByItsState) {
    enum class Then { owns, relinquishes, fails, restoresAsStale };
    struct Case {
        const char* name;
        State state;
        std::vector<shared::FanInfo> fans;
        bool epochChanged;
        bool switchedOff;
        Then then;
        std::string expectedStatus;
    };
    const std::vector<Case> cases = {
        {"verified", State::manual, fansIn(Mode::manual), false, false, Then::owns,
         "Boost: 55% · F1 3120 · F2 3200 RPM"},
        {"a fan in an unknown mode passes",
         State::manual,
         {fan(0, Mode::manual), fan(1, Mode::unknown, 3300)},
         false,
         false,
         Then::owns,
         "Boost: 55% · F1 3120 · F2 3300 RPM"},
        {"a fan left in automatic",
         State::manual,
         {fan(0, Mode::manual), fan(1, Mode::automatic)},
         false,
         false,
         Then::fails,
         ""},
        {"a fault", State::fault, fansIn(Mode::manual), false, false, Then::fails, ""},
        {"another app restored the fans", State::automatic, fansIn(Mode::automatic), false, false,
         Then::relinquishes, relinquishedText},
        {"manual after the epoch changed", State::manual, fansIn(Mode::manual), true, false,
         Then::restoresAsStale, ""},
        {"automatic after the epoch changed", State::automatic, fansIn(Mode::automatic), true,
         false, Then::restoresAsStale, ""},
        {"manual after control went off", State::manual, fansIn(Mode::manual), false, true,
         Then::restoresAsStale, ""},
        {"a fault after control went off", State::fault, fansIn(Mode::manual), false, true,
         Then::restoresAsStale, ""},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        sink->clear();
        makeModel();
        switchControlOn();
        const auto decision = boostDecision();
        const auto epoch = peer->controlEpoch();
        auto& applied = start(peer->apply(decision, testCase.epochChanged ? epoch - 1 : epoch));
        ASSERT_EQ(helper->nextPending().percentage, 55);
        EXPECT_EQ(peer->coolingRequestsOutstanding(), 1);
        if (testCase.switchedOff) {
            start(peer->disableControl("off"));
        }
        const auto fansBefore = model->fans();
        const auto statusBefore = model->statusMessage();
        const auto modeBefore = model->guardMode();
        const auto eventCount = events().size();
        advance(2.0);

        reply(testCase.state, testCase.fans);
        EXPECT_EQ(peer->coolingRequestsOutstanding(), 0);
        switch (testCase.then) {
            case Then::owns:
                ASSERT_TRUE(applied.done);
                EXPECT_FALSE(applied.failure) << applied.errorText();
                EXPECT_TRUE(peer->ownsManualControl());
                EXPECT_EQ(peer->activeTargetPercentage(), 55);
                EXPECT_EQ(peer->lastVerificationUptime(), executor.uptime()) << "when verified";
                EXPECT_EQ(model->fans(), testCase.fans);
                EXPECT_EQ(model->guardMode(), GuardMode::boost());
                EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
                EXPECT_THAT(eventsSince(eventCount), ElementsAre("control.target_applied"));
                EXPECT_EQ(sink->last("control.target_applied")->metadata.at("level"), "Boost");
                EXPECT_EQ(sink->last("control.target_applied")->metadata.at("percentage"), "55");
                EXPECT_EQ(sink->last("control.target_applied")->metadata.at("reason"),
                          decision.reason);
                break;
            case Then::relinquishes:
                ASSERT_TRUE(applied.done);
                EXPECT_FALSE(applied.failure);
                EXPECT_EQ(peer->controlEpoch(), epoch + 1);
                EXPECT_FALSE(model->controlEnabled());
                EXPECT_EQ(model->fans(), testCase.fans);
                EXPECT_EQ(peer->policy().currentIndex(), -1);
                EXPECT_EQ(model->guardMode(), GuardMode::fault(relinquishedText));
                EXPECT_EQ(model->statusMessage(), relinquishedText);
                EXPECT_THAT(eventsSince(eventCount), ElementsAre("control.relinquished"));
                EXPECT_EQ(sink->last("control.relinquished")->level, Level::warning);
                break;
            case Then::fails: {
                ASSERT_TRUE(applied.done);
                EXPECT_EQ(applied.errorText(), unverifiedText);
                EXPECT_FALSE(peer->ownsManualControl());
                EXPECT_EQ(model->fans(), fansBefore) << "an unverified reply is not shown";
                EXPECT_THAT(eventsSince(eventCount), testing::IsEmpty()) << "no apply_failed";
                EXPECT_TRUE(peer->manualStateUncertain());
                // Failing closed asks for Apple Automatic although the model never owned them.
                start(peer->failClosed(applied.failure));
                ASSERT_EQ(helper->pendingCount(), 1U);
                reply(State::automatic, fansIn(Mode::automatic));
                EXPECT_FALSE(peer->manualStateUncertain());
                EXPECT_EQ(model->statusMessage(), std::string("Safe stop: ") + unverifiedText);
                EXPECT_EQ(model->guardMode(), GuardMode::fault(unverifiedText));
                break;
            }
            case Then::restoresAsStale:
                EXPECT_FALSE(applied.done) << "waits for its restore";
                ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
                reply(State::automatic, fansIn(Mode::automatic));
                ASSERT_TRUE(applied.done);
                EXPECT_FALSE(applied.failure);
                EXPECT_FALSE(peer->ownsManualControl());
                EXPECT_EQ(model->fans(), fansBefore);
                EXPECT_EQ(model->statusMessage(), statusBefore);
                EXPECT_EQ(model->guardMode(), modeBefore);
                EXPECT_THAT(eventsSince(eventCount), testing::IsEmpty());
                break;
        }
        EXPECT_EQ(helper->pendingCount(), 0U);
    }
}

TEST_F(FanControlTests, AStaleRepliesFailedRestoreIsThrownAndRemembered) {
    makeModel();
    switchControlOn();
    auto& applied = start(peer->apply(boostDecision(), peer->controlEpoch() - 1));
    reply(State::manual, fansIn(Mode::manual));
    failRequest("Ventrella Helper did not respond.");
    EXPECT_EQ(applied.errorText(), "Ventrella Helper did not respond.");
    EXPECT_TRUE(peer->manualStateUncertain());

    // Switching off asks again although the model does not own the fans.
    start(peer->disableControl("off"));
    reply(State::automatic, fansIn(Mode::automatic));
    EXPECT_FALSE(peer->manualStateUncertain());
    EXPECT_EQ(model->statusMessage(), "off");
}

TEST_F(FanControlTests, TheStatusLineShowsEachFansTargetAndEmergencyIsFullCooling) {
    auto settings = englishSettings();
    settings.boostPercent = 65;
    initialSettings = settings;
    makeModel();
    switchControlOn();
    auto& boost = start(peer->apply(boostDecision(), peer->controlEpoch()));
    ASSERT_EQ(helper->nextPending().percentage, 65);
    reply(State::manual, {fan(0, Mode::manual, 3120), fan(1, Mode::manual, 9000)});
    EXPECT_FALSE(boost.failure);
    EXPECT_EQ(model->statusMessage(), "Boost: 65% · F1 3120 · F2 — RPM") << "implausible target";
    EXPECT_EQ(model->guardMode(), GuardMode::boost());

    const auto emergency = peer->policy().forceHighestLevel(executor.uptime());
    start(peer->apply(emergency, peer->controlEpoch()));
    ASSERT_EQ(helper->nextPending().percentage, 100);
    reply(State::manual, fansIn(Mode::manual), 100);
    EXPECT_EQ(model->guardMode(), GuardMode::emergency());
    EXPECT_EQ(peer->activeTargetPercentage(), 100);
    EXPECT_EQ(model->statusMessage(), "Emergency: 100% · F1 3120 · F2 3200 RPM");
}

TEST_F(FanControlTests, AnApplyErrorRestoresAndTheUncertaintyLastsUntilARestoreSucceeds) {
    struct Case {
        const char* name;
        bool owning;
        bool restoreAfterErrorWorks;
        bool restoreWhenStoppingWorks;  // asked only when still owning or uncertain
        bool expectedOwning;
        bool expectedUncertain;
        std::string expectedStatus;
        GuardMode expectedMode;
    };
    const std::string stopped = "Safe stop: Ventrella Helper did not respond.";
    const std::vector<Case> cases = {
        {"owning, the restore after the error works", true, true, true, false, false, stopped,
         GuardMode::fault("Ventrella Helper did not respond.")},
        {"not owning, that restore fails", false, false, true, false, false, stopped,
         GuardMode::fault("Ventrella Helper did not respond.")},
        {"owning, every restore fails", true, false, false, true, true,
         "CRITICAL: Automatic mode could not be restored on every fan.",
         GuardMode::fault("Automatic mode could not be restored: The helper is gone.")},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        sink->clear();
        makeModel();
        switchControlOn();
        if (testCase.owning) {
            ownLevel(0, 55);
        }
        const auto decision =
            testCase.owning ? peer->policy().forceHighestLevel(executor.uptime()) : boostDecision();
        const std::int64_t percentage = testCase.owning ? 100 : 55;
        auto& applied = start(peer->apply(decision, peer->controlEpoch()));
        failRequest("Ventrella Helper did not respond.");
        EXPECT_TRUE(peer->manualStateUncertain());
        const auto failed = sink->last("control.apply_failed");
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->level, Level::error);
        EXPECT_EQ(failed->message, "Ventrella Helper did not respond.");
        EXPECT_EQ(failed->metadata.at("level"), testCase.owning ? "Emergency" : "Boost");
        EXPECT_EQ(failed->metadata.at("percentage"), std::to_string(percentage));

        ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
        EXPECT_FALSE(applied.done) << "the error waits for the restore";
        if (testCase.restoreAfterErrorWorks) {
            reply(State::automatic, fansIn(Mode::automatic));
            EXPECT_FALSE(peer->ownsManualControl());
            EXPECT_EQ(model->fans(), fansIn(Mode::automatic));
        } else {
            failRequest("The helper is gone.");
        }
        ASSERT_TRUE(applied.done);
        EXPECT_EQ(applied.errorText(), "Ventrella Helper did not respond.");

        const auto before = events().size();
        start(peer->failClosed(applied.failure));
        const bool asked = helper->pendingCount() > 0;
        EXPECT_EQ(asked, !testCase.restoreAfterErrorWorks);
        if (asked) {
            if (testCase.restoreWhenStoppingWorks) {
                reply(State::automatic, fansIn(Mode::automatic));
            } else {
                failRequest("The helper is gone.");
            }
        }
        EXPECT_FALSE(model->controlEnabled());
        EXPECT_EQ(peer->ownsManualControl(), testCase.expectedOwning);
        EXPECT_EQ(peer->manualStateUncertain(), testCase.expectedUncertain);
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        EXPECT_EQ(model->guardMode(), testCase.expectedMode);
        EXPECT_EQ(eventsSince(before).at(0), "control.fail_closed") << "recorded first";
    }
}

TEST_F(FanControlTests, ADecisionForAppleAutomaticPublishesOnlyUnderItsOwnEpoch) {
    enum class Reply { current, stale, error };
    for (const auto answer : {Reply::current, Reply::stale, Reply::error}) {
        SCOPED_TRACE(static_cast<int>(answer));
        sink->clear();
        makeModel();
        switchControlOn();
        ownLevel(0, 55);
        const core::PolicyDecision decision{0, -1, true, "Returned to Apple Automatic"};
        const auto epoch = peer->controlEpoch();
        auto& applied = start(peer->apply(decision, answer == Reply::stale ? epoch - 1 : epoch));
        ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
        const auto eventCount = events().size();
        if (answer == Reply::error) {
            failRequest("Ventrella Helper did not respond.");
            EXPECT_EQ(applied.errorText(), "Ventrella Helper did not respond.");
            EXPECT_TRUE(peer->ownsManualControl());
            EXPECT_THAT(eventsSince(eventCount), testing::IsEmpty());
            continue;
        }
        reply(State::automatic, fansIn(Mode::automatic));
        EXPECT_FALSE(applied.failure);
        EXPECT_EQ(helper->pendingCount(), 0U) << "nothing more is sent";
        if (answer == Reply::stale) {
            EXPECT_TRUE(peer->ownsManualControl()) << "left to whoever changed the epoch";
            EXPECT_EQ(model->fans(), fansIn(Mode::manual));
            EXPECT_EQ(model->guardMode(), GuardMode::boost());
            EXPECT_THAT(eventsSince(eventCount), testing::IsEmpty());
            continue;
        }
        EXPECT_FALSE(peer->ownsManualControl());
        EXPECT_EQ(model->fans(), fansIn(Mode::automatic));
        EXPECT_EQ(model->guardMode(), GuardMode::automatic());
        EXPECT_EQ(model->statusMessage(), "Temperature dropped; Apple Automatic was restored.");
        EXPECT_THAT(eventsSince(eventCount), ElementsAre("control.restored_automatic"));
        EXPECT_EQ(sink->last("control.restored_automatic")->metadata.at("reason"), decision.reason);
    }
}

TEST_F(FanControlTests, ARenewalLooksAtTheReplysStateBeforeTheEpoch) {
    enum class Then { keeps, restoresAsStale, relinquishes, fails };
    struct Case {
        const char* name;
        State state;
        bool epochChanged;
        Then then;
    };
    const std::vector<Case> cases = {
        {"manual", State::manual, false, Then::keeps},
        {"manual, epoch changed", State::manual, true, Then::restoresAsStale},
        {"automatic", State::automatic, false, Then::relinquishes},
        {"automatic, epoch changed", State::automatic, true, Then::relinquishes},
        {"fault", State::fault, false, Then::fails},
        {"fault, epoch changed", State::fault, true, Then::fails},
    };
    const std::vector<shared::FanInfo> renewed = {fan(0, Mode::manual, 3130),
                                                  fan(1, Mode::manual, 3190)};
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        makeModel();
        switchControlOn();
        ownLevel(0, 55);
        const double verified = peer->lastVerificationUptime();
        advance(15.0);
        const auto epoch = peer->controlEpoch();
        auto& renewal = start(peer->verifyAndRenew(testCase.epochChanged ? epoch - 1 : epoch));
        ASSERT_EQ(helper->nextPending().request, Request::applyCooling);
        EXPECT_EQ(helper->nextPending().percentage, 55);
        const auto fans = testCase.state == State::automatic ? fansIn(Mode::automatic) : renewed;
        reply(testCase.state, fans);
        switch (testCase.then) {
            case Then::keeps:
                EXPECT_FALSE(renewal.failure);
                EXPECT_EQ(model->fans(), renewed);
                EXPECT_TRUE(peer->ownsManualControl());
                EXPECT_EQ(peer->lastVerificationUptime(), verified) << "the cycle stamps it";
                break;
            case Then::restoresAsStale:
                EXPECT_EQ(model->fans(), renewed) << "published before the epoch test";
                ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
                reply(State::automatic, fansIn(Mode::automatic));
                EXPECT_TRUE(renewal.done);
                EXPECT_FALSE(renewal.failure);
                break;
            case Then::relinquishes:
                EXPECT_FALSE(renewal.failure);
                EXPECT_FALSE(model->controlEnabled());
                EXPECT_FALSE(peer->ownsManualControl());
                EXPECT_EQ(model->guardMode(), GuardMode::fault(relinquishedText));
                EXPECT_EQ(peer->controlEpoch(), epoch + 1);
                break;
            case Then::fails:
                EXPECT_EQ(renewal.errorText(), "The Helper returned an unknown fan-control state.");
                EXPECT_EQ(model->fans(), fansIn(Mode::manual)) << "not published";
                break;
        }
        EXPECT_EQ(helper->pendingCount(), 0U);
    }
}

TEST_F(FanControlTests, ARenewalAtAppleAutomaticReturnsUnlessItStillOwnsTheFans) {
    struct Case {
        const char* name;
        bool owning;
        bool epochChanged;
        bool expectedLost;
    };
    const std::vector<Case> cases = {
        {"not owning", false, false, false},
        {"owning under the current epoch", true, false, true},
        {"owning, epoch changed", true, true, false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        makeModel();
        switchControlOn();
        if (testCase.owning) {
            ownLevel(0, 55);
            peer->policy() = core::FanPolicy(model->settings().levels());
        }
        const auto epoch = peer->controlEpoch();
        auto& renewal = start(peer->verifyAndRenew(testCase.epochChanged ? epoch - 1 : epoch));
        EXPECT_TRUE(renewal.done);
        EXPECT_EQ(renewal.errorText(), testCase.expectedLost ? lostText : "");
        EXPECT_EQ(helper->pendingCount(), 0U) << "nothing is sent";
    }
}

TEST_F(FanControlTests, ALostTargetFailsClosedAndTheFansAreRestored) {
    makeModel();
    switchControlOn();
    ownLevel(0, 55);
    invariants.allowBroken(ModelInvariantChecker::Invariant::ownershipMatchesTarget);
    peer->dropActiveTarget();
    auto& renewal = start(peer->verifyAndRenew(peer->controlEpoch()));
    EXPECT_EQ(renewal.errorText(), lostText);
    EXPECT_EQ(helper->pendingCount(), 0U);

    start(peer->failClosed(renewal.failure));
    ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
    reply(State::automatic, fansIn(Mode::automatic));
    EXPECT_FALSE(peer->ownsManualControl());
    EXPECT_EQ(model->statusMessage(), std::string("Safe stop: ") + lostText);
    EXPECT_EQ(model->guardMode(), GuardMode::fault(lostText));
}

TEST_F(FanControlTests, FailingClosedRecordsFirstAndKeepsWhatTheRestoreShowed) {
    struct Case {
        const char* name;
        core::AppLanguage language;
        std::optional<std::vector<shared::FanInfo>> restoredFans;  // absent: the restore fails
        std::exception_ptr error;
        std::string expectedText;
        std::string expectedStatus;
        GuardMode expectedMode;
        std::string expectedLastEvent;
    };
    const auto failed = std::make_exception_ptr(core::VentrellaError::commandFailed("boom"));
    const std::vector<Case> cases = {
        {"all automatic", core::AppLanguage::english, fansIn(Mode::automatic), failed, "boom",
         "Safe stop: boom", GuardMode::fault("boom"), "control.disabled"},
        {"another app holds a fan", core::AppLanguage::english,
         std::vector{fan(0, Mode::automatic), fan(1, Mode::manual)}, failed, "boom",
         "Safe stop: boom", GuardMode::externalManual(), "control.disabled"},
        {"the restore fails", core::AppLanguage::english, std::nullopt, failed, "boom",
         "CRITICAL: Automatic mode could not be restored on every fan.",
         GuardMode::fault("Automatic mode could not be restored: gone"), "control.restore_failed"},
        {"an English message shown translated", core::AppLanguage::german, fansIn(Mode::automatic),
         std::make_exception_ptr(std::runtime_error(lostText)),
         "Das aktive Lüfterziel ging verloren.",
         "Sicherer Halt: Das aktive Lüfterziel ging verloren.",
         GuardMode::fault("Das aktive Lüfterziel ging verloren."), "control.disabled"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        auto settings = englishSettings();
        settings.appLanguage = testCase.language;
        initialSettings = settings;
        makeModel();
        switchControlOn();
        ownLevel(0, 55);
        const auto before = events().size();
        start(peer->failClosed(testCase.error));
        EXPECT_EQ(events().at(before), "control.fail_closed") << "before anything is restored";
        if (testCase.restoredFans) {
            reply(State::automatic, *testCase.restoredFans);
        } else {
            failRequest("gone");
        }
        EXPECT_FALSE(model->controlEnabled());
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        EXPECT_EQ(model->guardMode(), testCase.expectedMode);
        EXPECT_EQ(events().back(), testCase.expectedLastEvent);
        EXPECT_EQ(events().size() - before, 2U);
        EXPECT_EQ(sink->last("control.fail_closed")->message, testCase.expectedText);
    }
}

}  // namespace
}  // namespace ventrella::modeltests
