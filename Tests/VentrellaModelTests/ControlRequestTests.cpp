// Switching control on and off, taking control over and installing the helper.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using core::GuardMode;
using model::PublishedField;
using testing::ElementsAre;

class ControlRequestTests : public ModelTest {};

constexpr const char* offText = "Fan control is off; Apple Automatic is in control.";
constexpr const char* externalText =
    "A fan is being controlled manually by another app. Switch it to Automatic in that app first.";
constexpr const char* criticalText = "CRITICAL: Automatic mode could not be restored on every fan.";
constexpr const char* unstableText =
    "Control could not be taken over because Apple Automatic is not stable.";

TEST_F(ControlRequestTests, AFailedEnableLeavesControlOffWithTheReasonShown) {
    struct Case {
        const char* name;
        bool helperAnswers;
        std::optional<apphardware::HardwarePreflight> preflight;  // absent: the read throws
        GuardMode expectedMode;
        std::string expectedStatus;
        bool expectedHelperReady;
    };
    const std::vector<Case> cases = {
        {"helper unreachable", false, preflightOf(fansIn(Mode::automatic)),
         GuardMode::fault("Could not connect to Ventrella Helper."),
         "Could not connect to Ventrella Helper.", false},
        {"preflight error", true, std::nullopt, GuardMode::fault("SMC unavailable"),
         "SMC unavailable", true},
        {"hardware cannot control, with a reason", true,
         preflightOf(fansIn(Mode::automatic), false,
                     "No controllable fan was found on this device."),
         GuardMode::fault("No controllable fan was found on this device."),
         "No controllable fan was found on this device.", true},
        {"hardware cannot control, no reason", true, preflightOf(fansIn(Mode::automatic), false),
         GuardMode::fault("Fan control is unavailable on this hardware."),
         "Fan control is unavailable on this hardware.", true},
        {"another app holds a fan", true,
         preflightOf({fan(0, Mode::automatic), fan(1, Mode::manual)}), GuardMode::externalManual(),
         externalText, true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        reader = std::make_shared<fakes::ScriptedFanHardwareReader>();
        if (testCase.preflight) {
            reader->answerPreflight(*testCase.preflight);
        } else {
            reader->failPreflight(std::make_exception_ptr(std::runtime_error("SMC unavailable")));
        }
        sink->clear();
        makeModel();
        model->requestControl(true);
        EXPECT_TRUE(model->operationInProgress()) << "set in the call itself";
        run("the request");
        if (testCase.helperAnswers) {
            replyStatus();
        } else {
            failRequest("Could not connect to Ventrella Helper.");
        }
        EXPECT_FALSE(model->controlEnabled());
        EXPECT_FALSE(model->operationInProgress());
        EXPECT_EQ(model->guardMode(), testCase.expectedMode);
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        EXPECT_EQ(model->helperReady(), testCase.expectedHelperReady);
        EXPECT_EQ(reader->preflightCalls(), testCase.helperAnswers ? 1U : 0U);
        if (testCase.preflight && testCase.helperAnswers) {
            EXPECT_EQ(model->fans(), testCase.preflight->fans) << "the preflight's fans stay";
        }
        EXPECT_EQ(peer->controlEpoch(), 0);
        EXPECT_THAT(events(), ElementsAre("app.model_initialized", "control.requested",
                                          "control.enable_failed"));
        const auto failed = sink->last("control.enable_failed");
        EXPECT_EQ(failed->level, Level::error);
        EXPECT_EQ(failed->message, testCase.expectedStatus);
    }
}

TEST_F(ControlRequestTests, ASuccessfulEnableStartsAFreshGuardEvenAfterAFault) {
    reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
    makeModel();
    model->requestControl(true);
    run("the first request");
    failRequest("Ventrella Helper did not respond.");
    ASSERT_EQ(model->guardMode().kind(), GuardMode::Kind::fault);
    peer->setSensorFailures(2);
    (void)peer->policy().update(85.0, 1000.0);

    switchControlOn();
    EXPECT_EQ(peer->controlEpoch(), 1);
    EXPECT_EQ(peer->sensorFailures(), 0);
    EXPECT_EQ(peer->policy().currentIndex(), -1);
    EXPECT_THAT(peer->policy().aboveCounts(), ElementsAre(0, 0));
    EXPECT_EQ(peer->policy().levels(), model->settings().levels());
    EXPECT_FALSE(peer->ownsManualControl());
    EXPECT_EQ(model->guardMode(), GuardMode::automatic());
    EXPECT_EQ(model->statusMessage(), "Ventrella is active and monitoring the thresholds.");
    EXPECT_EQ(sink->last("control.enabled")->level, Level::info);
}

TEST_F(ControlRequestTests, RequestsAreIgnoredWhileBusyAndSwitchingOnTwiceDoesNothing) {
    makeModel();
    reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
    model->requestControl(true);
    model->requestControl(false);
    model->installHelper();
    run("three requests");
    EXPECT_EQ(sink->count("control.requested"), 1U);
    EXPECT_EQ(requestCount(), 1U) << "only the first request's status";
    replyStatus();
    ASSERT_TRUE(model->controlEnabled());

    const auto epoch = peer->controlEpoch();
    const auto before = events();
    model->requestControl(true);
    EXPECT_FALSE(model->operationInProgress());
    run("switching on again");
    EXPECT_EQ(events(), before) << "not even the request is recorded";
    EXPECT_EQ(peer->controlEpoch(), epoch);
    EXPECT_EQ(requestCount(), 1U);

    // Enable and disable themselves leave the operation flag alone.
    int flagWrites = 0;
    model->subscribeWillChange([&](PublishedField field) {
        flagWrites += field == PublishedField::operationInProgress ? 1 : 0;
    });
    start(peer->disableControl("off"));
    start(peer->enableControl());
    replyStatus();
    EXPECT_TRUE(model->controlEnabled());
    EXPECT_EQ(flagWrites, 0);
}

TEST_F(ControlRequestTests, SwitchingOffWithoutOwningTheFansAsksTheHelperNothing) {
    reader->answerPreflight(preflightOf({fan(0, Mode::automatic), fan(1, Mode::manual)}));
    makeModel();
    start(peer->refreshHardwareStatus());
    (void)peer->policy().forceHighestLevel(1000.0);

    // Also while already off: it may be the retry of a failed restore.
    model->requestControl(false);
    run("switching off");
    EXPECT_EQ(requestCount(), 0U);
    EXPECT_EQ(peer->controlEpoch(), 1);
    EXPECT_EQ(peer->policy().currentIndex(), -1);
    EXPECT_EQ(model->guardMode(), GuardMode::externalManual());
    EXPECT_EQ(model->statusMessage(), offText);
    EXPECT_THAT(events(), ElementsAre("app.model_initialized", "hardware.preflight_succeeded",
                                      "control.requested", "control.disabled"));
    EXPECT_EQ(sink->last("control.disabled")->message, offText);
    EXPECT_EQ(sink->last("control.requested")->metadata.at("enabled"), "false");
}

TEST_F(ControlRequestTests, SwitchingOffWhileOwningRestoresOrShowsTheCriticalFault) {
    makeModel();
    switchControlOn();
    ownLevel(0, 55);
    const auto epoch = peer->controlEpoch();

    model->requestControl(false);
    run("switching off");
    EXPECT_EQ(peer->controlEpoch(), epoch + 1) << "advanced before the helper answers";
    EXPECT_FALSE(model->controlEnabled());
    ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
    failRequest("Fan 1 could not be returned to automatic mode.");
    EXPECT_EQ(model->guardMode(),
              GuardMode::fault(
                  "Automatic mode could not be restored: Fan 1 could not be returned to automatic "
                  "mode."));
    EXPECT_EQ(model->statusMessage(), criticalText);
    EXPECT_TRUE(peer->ownsManualControl()) << "the fans still count as the model's";
    EXPECT_EQ(peer->activeTargetPercentage(), 55);
    EXPECT_EQ(peer->policy().currentIndex(), 0);
    EXPECT_EQ(sink->last("control.restore_failed")->message,
              "Fan 1 could not be returned to automatic mode.");
    EXPECT_EQ(sink->count("control.disabled"), 0U);

    // A later request tries again.
    model->requestControl(false);
    run("switching off again");
    reply(State::automatic, fansIn(Mode::automatic));
    EXPECT_FALSE(peer->ownsManualControl());
    EXPECT_EQ(model->fans(), fansIn(Mode::automatic));
    EXPECT_EQ(peer->policy().currentIndex(), -1);
    EXPECT_EQ(model->guardMode(), GuardMode::automatic());
    EXPECT_EQ(model->statusMessage(), offText);
    EXPECT_FALSE(model->operationInProgress());
}

TEST_F(ControlRequestTests, EachDisableTakesItsOwnRestoreReplyWhateverTheEpochBecame) {
    makeModel();
    switchControlOn();
    ownLevel(0, 55);
    model->requestControl(false);
    run("switching off");
    start(peer->disableControl("second"));
    ASSERT_EQ(helper->pendingCount(), 2U) << "the second disable still sees its own fans";

    reply(State::automatic, fansIn(Mode::automatic));
    EXPECT_FALSE(peer->ownsManualControl());
    EXPECT_EQ(model->statusMessage(), offText);
    failRequest("The helper is restarting.");
    EXPECT_EQ(model->statusMessage(), criticalText) << "the later reply is shown as it is";
    EXPECT_FALSE(peer->ownsManualControl());
}

TEST_F(ControlRequestTests, TakeoverVerifiesAppleAutomaticThenEnables) {
    struct Case {
        const char* name;
        std::optional<std::vector<shared::FanInfo>> takeoverFans;  // absent: the helper fails
        std::vector<shared::FanInfo> fansAfterwards;  // read again after a failure, or by enable
        bool enableAnswers;
        bool expectedEnabled;
        GuardMode expectedMode;
        std::string expectedStatus;
        std::string expectedEvent;
    };
    const std::string notStable = std::string("Control could not be taken over: ") + unstableText;
    const std::vector<Case> cases = {
        {"no fans reported", std::vector<shared::FanInfo>{}, fansIn(Mode::manual), false, false,
         GuardMode::externalManual(), notStable, "control.takeover_failed"},
        {"a fan stays manual", std::vector{fan(0, Mode::automatic), fan(1, Mode::manual)},
         fansIn(Mode::automatic), false, false, GuardMode::fault(notStable), notStable,
         "control.takeover_failed"},
        {"helper error", std::nullopt, fansIn(Mode::manual), false, false,
         GuardMode::externalManual(),
         "Control could not be taken over: Ventrella Helper did not respond.",
         "control.takeover_failed"},
        {"stable, enabled", fansIn(Mode::automatic), fansIn(Mode::automatic), true, true,
         GuardMode::automatic(), "Control taken over; Ventrella is active.",
         "control.takeover_succeeded"},
        {"stable, enable fails", fansIn(Mode::automatic), fansIn(Mode::automatic), false, false,
         GuardMode::fault("Ventrella Helper did not respond."), "Ventrella Helper did not respond.",
         "control.enable_failed"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        reader = std::make_shared<fakes::ScriptedFanHardwareReader>();
        reader->answerPreflight(preflightOf({fan(0, Mode::automatic), fan(1, Mode::manual)}));
        reader->answerPreflight(preflightOf(testCase.fansAfterwards));
        makeModel();
        model->startMonitoring();
        run("start-up");
        replyStatus();
        ASSERT_TRUE(model->canTakeOverControl());
        sink->clear();

        model->requestTakeover();
        EXPECT_TRUE(model->operationInProgress());
        run("the takeover");
        ASSERT_EQ(nextRequest(), Request::prepareTakeover);
        if (testCase.takeoverFans) {
            reply(State::automatic, *testCase.takeoverFans);
        } else {
            failRequest("Ventrella Helper did not respond.");
        }
        if (helper->pendingCount() > 0) {
            EXPECT_EQ(model->statusMessage(), "Apple Automatic verified; activating Ventrella…");
            EXPECT_EQ(model->fans(), *testCase.takeoverFans);
            ASSERT_EQ(nextRequest(), Request::status);
            if (testCase.enableAnswers) {
                replyStatus();
            } else {
                failRequest("Ventrella Helper did not respond.");
            }
        }
        EXPECT_EQ(model->controlEnabled(), testCase.expectedEnabled);
        EXPECT_EQ(model->guardMode(), testCase.expectedMode);
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        EXPECT_FALSE(model->operationInProgress());
        EXPECT_EQ(model->fans(), testCase.fansAfterwards);
        EXPECT_EQ(events().back(), testCase.expectedEvent);
        EXPECT_EQ(sink->count("control.takeover_succeeded"), testCase.expectedEnabled ? 1U : 0U);
    }

    // Nothing to take over: the request does nothing.
    const auto before = requestCount();
    model->requestTakeover();
    EXPECT_FALSE(model->operationInProgress());
    EXPECT_EQ(requestCount(), before);
}

TEST_F(ControlRequestTests, AnInstallationAwaitingApprovalThenCompleted) {
    makeModel();
    start(peer->refreshHelperStatus(1, 0.5, false));
    replyStatus();
    ASSERT_TRUE(model->helperReady());
    peer->acceptRelinquished(resultOf(State::automatic, {}), "shown before");
    installer->installOutcome = apphardware::InstallationOutcome::requiresApproval;
    sink->clear();
    const auto requests = requestCount();

    model->installHelper();
    EXPECT_TRUE(model->operationInProgress());
    run("the installation");
    EXPECT_FALSE(model->operationInProgress());
    EXPECT_FALSE(model->helperReady());
    EXPECT_TRUE(model->helperInstalled());
    EXPECT_TRUE(model->helperApprovalPending());
    EXPECT_TRUE(model->helperApprovalPromptPresented());
    EXPECT_EQ(model->guardMode(), GuardMode::automatic());
    EXPECT_EQ(model->statusMessage(),
              "Approve Ventrella Fan Helper in System Settings > General > Login Items & "
              "Extensions, then return and click Update.");
    EXPECT_THAT(events(), ElementsAre("helper.approval_required"));
    EXPECT_EQ(requestCount(), requests) << "no status request";
    EXPECT_EQ(helper->resetCount(), 1);

    // Approved, the user clicks Update.
    installer->installOutcome = apphardware::InstallationOutcome::installed;
    peer->acceptRelinquished(resultOf(State::automatic, {}), "shown before");
    sink->clear();
    model->installHelper();
    run("the update");
    EXPECT_EQ(helper->resetCount(), 3) << "once before installing, once after";
    EXPECT_FALSE(model->helperApprovalPending());
    EXPECT_FALSE(model->helperApprovalPromptPresented());
    EXPECT_EQ(model->statusMessage(), "Helper installed.");
    ASSERT_EQ(nextRequest(), Request::status);
    replyStatus();
    EXPECT_TRUE(model->helperReady());
    EXPECT_EQ(model->statusMessage(), "Helper installed.");
    EXPECT_EQ(model->guardMode(), GuardMode::fault("shown before")) << "the mode is left alone";
    EXPECT_THAT(events(), ElementsAre("helper.install_completed", "helper.status_succeeded"));
    EXPECT_FALSE(model->operationInProgress());
}

TEST_F(ControlRequestTests, AnInstalledHelperThatDoesNotAnswerAndAFailedInstallation) {
    makeModel();
    model->installHelper();
    run("the installation");
    for (int attempt = 1; attempt <= 3; ++attempt) {
        ASSERT_EQ(helper->pendingCount(), 1U) << "attempt " << attempt;
        failRequest("Could not connect to Ventrella Helper.");
        if (attempt < 3) {
            advance(0.99);
            EXPECT_EQ(helper->pendingCount(), 0U) << "one second apart";
            advance(0.01);
        }
    }
    EXPECT_FALSE(model->operationInProgress());
    EXPECT_EQ(model->statusMessage(),
              "The Helper is installed, but its connection could not be verified. Ventrella will "
              "retry automatically.");
    EXPECT_EQ(events().back(), "helper.status_failed");

    installer->failNextInstall(
        core::VentrellaError::commandFailed("Helper installation was cancelled."));
    model->installHelper();
    run("a failing installation");
    EXPECT_FALSE(model->operationInProgress());
    EXPECT_FALSE(model->helperReady());
    EXPECT_EQ(model->statusMessage(), "Helper installation was cancelled.");
    EXPECT_EQ(model->guardMode(), GuardMode::fault("Helper installation was cancelled."));
    const auto failed = sink->last("helper.install_failed");
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->level, Level::error);
    EXPECT_EQ(failed->message, "Helper installation was cancelled.");
}

TEST_F(ControlRequestTests, InstallationFirstHandsTheFansBackAndStopsWhenThatFails) {
    for (const bool owning : {true, false}) {
        SCOPED_TRACE(owning ? "owning" : "a failed apply whose restores failed");
        renewFakes();
        log->clear();
        makeModel();
        switchControlOn();
        if (owning) {
            ownLevel(0, 55);
        } else {
            failClosedUncertain();
        }
        model->installHelper();
        run("the installation");
        ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
        failRequest("Fan 1 could not be returned to automatic mode.");
        EXPECT_EQ(model->statusMessage(),
                  "The Helper was not updated because Automatic mode could not be verified.");
        EXPECT_FALSE(model->operationInProgress());
        EXPECT_EQ(std::count(log->entries().begin(), log->entries().end(), "installer.install"), 0);
        EXPECT_EQ(events().back(), "control.restore_failed");

        model->installHelper();
        run("the installation again");
        reply(State::automatic, fansIn(Mode::automatic));
        EXPECT_EQ(sink->last("control.disabled")->message,
                  "Restoring Apple Automatic before updating the Helper…");
        replyStatus();
        EXPECT_EQ(std::count(log->entries().begin(), log->entries().end(), "installer.install"), 1);
        EXPECT_FALSE(model->controlEnabled()) << "control stays off";
        EXPECT_EQ(model->statusMessage(), "Helper installed.");
    }
}

}  // namespace
}  // namespace ventrella::modeltests
