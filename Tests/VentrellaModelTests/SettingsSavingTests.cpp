// Saving the settings: validation, what interrupts fan control, the store steps and their
// failures, and the transient status line.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "Platform/Foundation/LoginItemError.h"
#include "Platform/Foundation/UserDefaultsError.h"
#include "Ventrella/Core/GuardSettingsJSON.h"
#include "Ventrella/Diagnostics/DiagnosticSummary.h"
#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using core::GuardSettings;
using testing::ElementsAre;

class SettingsSavingTests : public ModelTest {
  protected:
    // Answers every helper request until none waits: status requests, and restores as told.
    void answerHelper(bool restoreFails) {
        while (helper->pendingCount() > 0) {
            if (nextRequest() == Request::status) {
                replyStatus();
            } else if (restoreFails) {
                failRequest("Ventrella Helper did not respond.");
            } else {
                reply(State::automatic, fansIn(Mode::automatic));
            }
        }
    }

    std::optional<GuardSettings> stored() const {
        const auto data = defaults->data("guardSettings");
        return data ? std::optional(core::decodeGuardSettings(*data)) : std::nullopt;
    }
};

constexpr const char* savedText = "Settings saved.";
constexpr const char* activeAgainText = "Settings saved; Ventrella is active again.";

TEST_F(SettingsSavingTests, ASaveStoresInOrderAndInterruptsControlOnlyForFanControlChanges) {
    const std::string loginFailure =
        platform::foundation::LoginItemError::registrationFailed("fake failure").what();
    const std::string writeFailure =
        platform::foundation::UserDefaultsError::writeFailed(
            "fake.plist", std::make_error_code(std::errc::read_only_file_system))
            .what();
    struct Case {
        const char* name;
        bool controlOn;
        bool owning;
        std::function<void(GuardSettings&)> change;
        std::function<void()> arrangeFailure;
        bool restoreFails;
        bool expectedStored;
        bool expectedControlOn;
        bool policyUntouched;
        std::string expectedStatus;
        std::vector<std::string> expectedEvents;
    };
    const std::vector<Case> cases = {
        {"an invalid interval",
         true,
         false,
         [](auto& s) { s.pollIntervalSeconds = 6; },
         {},
         false,
         false,
         true,
         true,
         "Settings could not be saved: The sampling interval must be between 1 and 5 seconds.",
         {"settings.validation_failed"}},
        {"the language only, control on",
         true,
         false,
         [](auto& s) { s.appLanguage = core::AppLanguage::german; },
         {},
         false,
         true,
         true,
         true,
         "Einstellungen gesichert.",
         {"settings.saved"}},
        {"launch at login only, owning",
         true,
         true,
         [](auto& s) { s.launchAtLogin = true; },
         {},
         false,
         true,
         true,
         true,
         savedText,
         {"settings.saved"}},
        {"the interval, owning",
         true,
         true,
         [](auto& s) { s.pollIntervalSeconds = 2; },
         {},
         false,
         true,
         true,
         false,
         activeAgainText,
         {"control.disabled", "control.enabled", "settings.saved"}},
        {"Boost's percentage, control off",
         false,
         false,
         [](auto& s) { s.boostPercent = 65; },
         {},
         false,
         true,
         false,
         false,
         savedText,
         {"settings.saved"}},
        {"the interval, and enabling again fails",
         true,
         false,
         [](auto& s) { s.pollIntervalSeconds = 2; },
         [this] { reader->answerPreflightFromNowOn(preflightOf(fansIn(Mode::automatic), false)); },
         false,
         true,
         false,
         false,
         "Fan control is unavailable on this hardware.",
         {"control.disabled", "control.enable_failed", "settings.saved"}},
        {"launch at login fails with the interval",
         true,
         false,
         [](auto& s) {
             s.launchAtLogin = true;
             s.pollIntervalSeconds = 2;
         },
         [this] { loginItem->failNextRegister(); },
         false,
         false,
         true,
         false,
         "Settings could not be saved: " + loginFailure,
         {"control.disabled", "control.enabled", "settings.save_failed"}},
        {"the defaults write fails",
         false,
         false,
         [](auto& s) { s.boostPercent = 65; },
         [this] { defaults->failNextWrite(); },
         false,
         false,
         false,
         true,
         "Settings could not be saved: " + writeFailure,
         {"settings.save_failed"}},
        {"the restore first cannot be verified",
         true,
         true,
         [](auto& s) { s.pollIntervalSeconds = 2; },
         {},
         true,
         false,
         false,
         true,
         "The settings were not applied because Automatic mode could not be verified.",
         {"control.restore_failed"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        renewFakes();
        defaults->values.clear();
        loginItem->itemStatus = fakes::FakeLoginItem::Status::notRegistered;
        makeModel();
        const GuardSettings before = model->settings();
        if (testCase.controlOn) {
            switchControlOn();
        }
        if (testCase.owning) {
            ownLevel(0, 55);
        } else {
            (void)peer->policy().update(85.0, executor.uptime());
        }
        if (testCase.arrangeFailure) {
            testCase.arrangeFailure();
        }
        GuardSettings edited = before;
        testCase.change(edited);
        const auto eventCount = events().size();

        model->saveSettings(edited);
        EXPECT_TRUE(model->operationInProgress());
        run("the save");
        answerHelper(testCase.restoreFails);

        EXPECT_FALSE(model->operationInProgress());
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        EXPECT_EQ(eventsSince(eventCount), testCase.expectedEvents);
        if (const auto rejected = sink->last("settings.validation_failed")) {
            EXPECT_EQ(rejected->level, Level::warning);
            EXPECT_EQ(rejected->message, "The sampling interval must be between 1 and 5 seconds.");
        }
        EXPECT_EQ(model->controlEnabled(), testCase.expectedControlOn);
        if (testCase.expectedStored) {
            EXPECT_EQ(stored(), edited);
            EXPECT_EQ(model->settings(), edited);
            EXPECT_EQ(sink->last("settings.saved")->metadata.at("settings"),
                      diagnostics::DiagnosticSummary::settings(edited));
            EXPECT_EQ(loginItem->itemStatus == fakes::FakeLoginItem::Status::enabled,
                      edited.launchAtLogin);
        } else {
            EXPECT_EQ(stored(), std::nullopt);
            EXPECT_EQ(model->settings(), before);
        }
        if (testCase.policyUntouched) {
            EXPECT_EQ(peer->policy().currentIndex(), testCase.owning ? 0 : -1);
            EXPECT_EQ(peer->policy().aboveCounts().at(0), testCase.owning ? 0 : 1);
        } else {
            EXPECT_EQ(peer->policy().levels(), model->settings().levels()) << "a new policy";
            EXPECT_EQ(peer->policy().aboveCounts().at(0), 0);
        }
        EXPECT_EQ(peer->ownsManualControl(), testCase.owning && testCase.policyUntouched);
        core::L10n::setLanguage(core::AppLanguage::english);
    }
}

TEST_F(SettingsSavingTests, ATransientLineClearsAfterThreeSecondsUnlessReplaced) {
    makeModel();
    GuardSettings edited = model->settings();
    edited.boostPercent = 60;
    model->saveSettings(edited);
    run("a save");
    EXPECT_EQ(model->statusMessage(), savedText);
    advance(2.9);
    EXPECT_EQ(model->statusMessage(), savedText);
    advance(0.1);
    EXPECT_EQ(model->statusMessage(), "");

    // A second save's line lasts its own 3 s; the first's clearing is cancelled.
    model->saveSettings(edited);
    run("a save");
    advance(2.0);
    model->saveSettings(edited);
    run("another save");
    advance(1.5);
    EXPECT_EQ(model->statusMessage(), savedText);
    advance(1.5);
    EXPECT_EQ(model->statusMessage(), "");

    // Another line meanwhile stays.
    model->saveSettings(edited);
    run("a save");
    advance(1.0);
    model->exportDiagnostics();
    advance(5.0);
    EXPECT_EQ(model->statusMessage(), "Diagnostic report saved.");
}

TEST_F(SettingsSavingTests, ASecondSaveWhileOneRunsIsIgnored) {
    makeModel();
    switchControlOn();
    GuardSettings first = model->settings();
    first.pollIntervalSeconds = 2;
    GuardSettings second = model->settings();
    second.pollIntervalSeconds = 4;
    model->saveSettings(first);
    run("the first save");
    ASSERT_EQ(nextRequest(), Request::status) << "enabling again under the new settings";
    model->saveSettings(second);
    run("the second save");
    replyStatus();
    EXPECT_EQ(model->settings(), first);
    EXPECT_EQ(defaults->writes, 1);
    EXPECT_EQ(sink->count("settings.saved"), 1U);
    EXPECT_EQ(model->statusMessage(), activeAgainText);
}

}  // namespace
}  // namespace ventrella::modeltests
