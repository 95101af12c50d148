#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "Ventrella/Core/GuardSettingsJSON.h"
#include "Ventrella/Diagnostics/DiagnosticSummary.h"
#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using core::AppLanguage;
using core::GuardSettings;
using testing::ElementsAre;
using testing::IsEmpty;

class AppModelConstructionTests : public ModelTest {};

GuardSettings withBoostPercent(std::int64_t percent) {
    GuardSettings settings = englishSettings();
    settings.boostPercent = percent;
    return settings;
}

GuardSettings invalidSettings() {
    GuardSettings settings = englishSettings();
    settings.boostExitCelsius = settings.boostEnterCelsius;  // exit must lie below the start
    return settings;
}

TEST_F(AppModelConstructionTests, SettingsComeFromTheFirstValidSourceWithoutAWord) {
    struct Case {
        const char* name;
        std::optional<GuardSettings> initial;
        std::optional<std::string> stored;
        GuardSettings expected;
    };
    const std::vector<Case> cases = {
        {"valid initial settings", withBoostPercent(61), encodeGuardSettings(withBoostPercent(70)),
         withBoostPercent(61)},
        {"invalid initial, valid stored", invalidSettings(),
         encodeGuardSettings(withBoostPercent(70)), withBoostPercent(70)},
        {"invalid initial, invalid stored", invalidSettings(),
         encodeGuardSettings(invalidSettings()), GuardSettings{}},
        {"no initial, undecodable stored", std::nullopt, std::string("{\"boostPercent\": \"x\""),
         GuardSettings{}},
        {"nothing at all", std::nullopt, std::nullopt, GuardSettings{}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        sink->clear();
        defaults->values.clear();
        if (testCase.stored) {
            defaults->values["guardSettings"] = *testCase.stored;
        }
        initialSettings = testCase.initial;
        makeModel();

        EXPECT_EQ(model->settings(), testCase.expected);
        EXPECT_EQ(peer->policy().levels(), testCase.expected.levels());
        EXPECT_EQ(peer->policy().currentIndex(), -1);
        EXPECT_EQ(model->statusMessage(), "Starting…");
        EXPECT_THAT(events(), ElementsAre("app.model_initialized"));
        EXPECT_EQ(sink->last("app.model_initialized")->metadata.at("settings"),
                  diagnostics::DiagnosticSummary::settings(testCase.expected));
        EXPECT_EQ(defaults->writes, 0) << "a rejected source stays as it is";
        core::L10n::setLanguage(AppLanguage::english);
    }
}

TEST_F(AppModelConstructionTests, StartsInTheSettingsLanguageAndRecordsItsVersionWithoutContext) {
    GuardSettings german = englishSettings();
    german.appLanguage = AppLanguage::german;
    initialSettings = german;
    makeModel();

    EXPECT_EQ(model->statusMessage(), "Wird gestartet …");
    EXPECT_EQ(model->settings().levels().at(1).name, "Notfall");
    const auto initialized = sink->last("app.model_initialized");
    ASSERT_TRUE(initialized);
    EXPECT_EQ(initialized->level, Level::info);
    EXPECT_EQ(initialized->message, "");
    EXPECT_EQ(initialized->metadata,
              (diagnostics::DiagnosticMetadata{
                  {"version", "2.5 (42)"},
                  {"settings", diagnostics::DiagnosticSummary::settings(german)}}));
    // Read once: the views ask for it at every change of the model.
    bundle.addInfoPlist("<plist version=\"1.0\"><dict></dict></plist>\n");
    EXPECT_EQ(model->appVersion(), diagnostics::AppVersion("2.5", "42"));

    // The published fields' first values.
    EXPECT_FALSE(model->controlEnabled());
    EXPECT_FALSE(model->operationInProgress());
    EXPECT_FALSE(model->currentTemperature());
    EXPECT_EQ(model->hottestSensor(), "—");
    EXPECT_THAT(model->fans(), IsEmpty());
    EXPECT_FALSE(model->hardwareCapabilities());
    EXPECT_EQ(model->guardMode(), core::GuardMode::automatic());
    EXPECT_FALSE(model->helperReady());
    EXPECT_FALSE(model->helperApprovalPromptPresented());
    EXPECT_FALSE(model->latestSensorSnapshot());
    EXPECT_EQ(peer->controlEpoch(), 0);
    EXPECT_FALSE(peer->monitorTask());
}

TEST_F(AppModelConstructionTests, HelperStateComesFromTheInstallerUnlessApprovalIsGiven) {
    using Status = platform::servicemanagement::ServiceStatus;
    struct Case {
        const char* name;
        std::optional<bool> injected;
        bool modern;
        Status status;
        bool installed;
        bool expectedPending;
        std::vector<std::string> expectedQueries;
    };
    const std::vector<Case> cases = {
        {"injected false",
         false,
         true,
         Status::requiresApproval,
         true,
         false,
         {"installer.isInstalled"}},
        {"injected true", true, false, Status::enabled, false, true, {"installer.isInstalled"}},
        {"modern service awaiting approval",
         std::nullopt,
         true,
         Status::requiresApproval,
         true,
         true,
         {"installer.isInstalled", "installer.usesModernService", "installer.serviceStatus"}},
        {"modern service enabled",
         std::nullopt,
         true,
         Status::enabled,
         true,
         false,
         {"installer.isInstalled", "installer.usesModernService", "installer.serviceStatus"}},
        {"installed by the scripts",
         std::nullopt,
         false,
         Status::requiresApproval,
         false,
         false,
         {"installer.isInstalled", "installer.usesModernService"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        log->clear();
        helperApprovalPending = testCase.injected;
        installer->modernService = testCase.modern;
        installer->status = testCase.status;
        installer->installed = testCase.installed;
        makeModel();
        EXPECT_EQ(model->helperApprovalPending(), testCase.expectedPending);
        EXPECT_EQ(model->helperInstalled(), testCase.installed);
        std::vector<std::string> queries;
        for (const auto& entry : log->entries()) {
            if (entry.starts_with("installer.")) {
                queries.push_back(entry);
            }
        }
        EXPECT_EQ(queries, testCase.expectedQueries);
    }
}

TEST_F(AppModelConstructionTests, LaunchAtLoginFollowsTheSettingOnlyInsideAnAppBundle) {
    using Status = platform::foundation::LoginItemStatus;
    struct Case {
        const char* name;
        bool insideAppBundle;
        bool launchAtLogin;
        Status status;
        bool failing;
        std::vector<std::string> expectedCalls;
        Status expectedStatus;
    };
    const std::vector<Case> cases = {
        {"register",
         true,
         true,
         Status::notRegistered,
         false,
         {"loginItem.status", "loginItem.register"},
         Status::enabled},
        {"already registered",
         true,
         true,
         Status::enabled,
         false,
         {"loginItem.status"},
         Status::enabled},
        {"unregister",
         true,
         false,
         Status::enabled,
         false,
         {"loginItem.status", "loginItem.unregister"},
         Status::notRegistered},
        {"already off",
         true,
         false,
         Status::notRegistered,
         false,
         {"loginItem.status"},
         Status::notRegistered},
        {"outside a bundle", false, true, Status::notRegistered, false, {}, Status::notRegistered},
        {"registration fails, ignored",
         true,
         true,
         Status::notRegistered,
         true,
         {"loginItem.status", "loginItem.register"},
         Status::notRegistered},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        log->clear();
        mainBundlePath = testCase.insideAppBundle ? bundle.path() : bundle.path().parent_path();
        GuardSettings settings = englishSettings();
        settings.launchAtLogin = testCase.launchAtLogin;
        initialSettings = settings;
        loginItem->itemStatus = testCase.status;
        if (testCase.failing) {
            loginItem->failNextRegister();
        }
        EXPECT_NO_THROW(makeModel());
        std::vector<std::string> calls;
        for (const auto& entry : log->entries()) {
            if (entry.starts_with("loginItem.")) {
                calls.push_back(entry);
            }
        }
        EXPECT_EQ(calls, testCase.expectedCalls);
        EXPECT_EQ(loginItem->itemStatus, testCase.expectedStatus);
    }

    // Outside construction the error reaches the caller (saving reports it).
    mainBundlePath = bundle.path();
    makeModel();
    loginItem->failNextUnregister();
    loginItem->itemStatus = Status::enabled;
    EXPECT_THROW(peer->updateLaunchAtLogin(false), platform::foundation::LoginItemError);
}

TEST_F(AppModelConstructionTests, EveryDependencyIsRequired) {
    helper = nullptr;
    EXPECT_THROW(makeModel(), std::invalid_argument);
}

}  // namespace
}  // namespace ventrella::modeltests
