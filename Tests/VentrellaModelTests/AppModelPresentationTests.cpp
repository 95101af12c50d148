// What the views read: derived values, the will-change notification and the events' context.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Ventrella/Diagnostics/DiagnosticSummary.h"
#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using core::GuardMode;
using model::PublishedField;
using testing::ElementsAre;

class AppModelPresentationTests : public ModelTest {};

TEST_F(AppModelPresentationTests, MenuTitleAndSymbolFollowTemperatureModeAndControl) {
    makeModel();
    EXPECT_EQ(model->menuTitle(), "Fan");
    peer->setCurrentTemperature(79.6);
    EXPECT_EQ(model->menuTitle(), "80°");

    EXPECT_EQ(model->menuSymbol(), "thermometer.medium");
    reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
    switchControlOn();
    EXPECT_EQ(model->guardMode(), GuardMode::automatic());
    EXPECT_EQ(model->menuSymbol(), "shield.checkered");
    ownLevel(0, 55);
    EXPECT_EQ(model->menuSymbol(), "fanblades");
    ownLevel(1, 100);
    EXPECT_EQ(model->menuSymbol(), "fanblades.fill");
    peer->acceptRelinquished(resultOf(State::automatic, fansIn(Mode::manual)), "taken");
    EXPECT_EQ(model->menuSymbol(), "exclamationmark.triangle.fill");
    start(peer->disableControl("off"));
    EXPECT_EQ(model->guardMode(), GuardMode::externalManual());
    EXPECT_EQ(model->menuSymbol(), "hand.raised.fill");
}

TEST_F(AppModelPresentationTests, ExternalManualControlAndTakeoverAreOfferedOnlyWhenAllowed) {
    struct Case {
        const char* name;
        std::vector<shared::FanInfo> fans;
        bool helperAnswers;
        bool canControl;
        bool expectedExternal;
        bool expectedTakeover;
    };
    const std::vector<Case> cases = {
        {"another app holds a fan",
         {fan(0, Mode::automatic), fan(1, Mode::manual)},
         true,
         true,
         true,
         true},
        {"a fan in an unknown mode", {fan(0, Mode::unknown)}, true, true, true, true},
        {"all automatic", fansIn(Mode::automatic), true, true, false, false},
        {"no fans", {}, true, true, false, false},
        {"helper not ready", fansIn(Mode::manual), false, true, true, false},
        {"hardware cannot control", fansIn(Mode::manual), true, false, true, false},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        reader = std::make_shared<fakes::ScriptedFanHardwareReader>();
        reader->answerPreflight(preflightOf(testCase.fans, testCase.canControl));
        makeModel();
        model->startMonitoring();
        run("start-up");
        if (testCase.helperAnswers) {
            replyStatus();
        } else {
            failRequest("Could not connect to Ventrella Helper.");
            advance(0.5);
            failRequest("Could not connect to Ventrella Helper.");
            advance(0.5);
            failRequest("Could not connect to Ventrella Helper.");
        }
        EXPECT_EQ(model->externalManualDetected(), testCase.expectedExternal);
        EXPECT_EQ(model->canTakeOverControl(), testCase.expectedTakeover);
        if (testCase.expectedTakeover) {
            // Not while another operation runs.
            model->requestControl(false);
            EXPECT_FALSE(model->canTakeOverControl());
            run("switching off");
            EXPECT_TRUE(model->canTakeOverControl());
        }
    }
}

TEST_F(AppModelPresentationTests, OwnManualFansAreNotAnotherAppsAndCannotBeTakenOver) {
    makeModel();
    switchControlOn();
    ownLevel(0, 55);
    EXPECT_THAT(model->fans(), testing::Each(testing::Field(&shared::FanInfo::mode, Mode::manual)));
    EXPECT_FALSE(model->externalManualDetected());
    EXPECT_FALSE(model->canTakeOverControl());
}

TEST_F(AppModelPresentationTests, TemperatureTitlesHardwareSummaryAndPreviewReadings) {
    struct Title {
        core::TemperatureSource source;
        core::TemperatureAggregation aggregation;
        const char* english;
        const char* german;
    };
    const std::vector<Title> titles = {
        {core::TemperatureSource::cpu, core::TemperatureAggregation::average, "CPU average",
         "CPU-Durchschnitt"},
        {core::TemperatureSource::gpu, core::TemperatureAggregation::hottest, "Hottest GPU",
         "Heißester GPU-Wert"},
        {core::TemperatureSource::cpuAndGPU, core::TemperatureAggregation::hottest,
         "Hottest CPU/GPU", "Heißester CPU/GPU-Wert"},
    };
    for (const auto& title : titles) {
        auto settings = englishSettings();
        settings.temperatureSource = title.source;
        settings.temperatureAggregation = title.aggregation;
        initialSettings = settings;
        makeModel();
        EXPECT_EQ(model->temperatureMetricTitle(), title.english);
        settings.appLanguage = core::AppLanguage::german;
        initialSettings = settings;
        makeModel();
        EXPECT_EQ(model->temperatureMetricTitle(), title.german);
    }
    core::L10n::setLanguage(core::AppLanguage::english);

    struct Summary {
        std::optional<std::int64_t> generation;
        std::string model;
        std::optional<std::string> mechanism;
        const char* expected;
    };
    const std::vector<Summary> summaries = {
        {3, "Mac15,3", "F%dmd mode keys",
         "Apple M3 · Mac15,3 · Fans: 1 · F%dmd mode keys · Native SMC"},
        {std::nullopt, "Mac15,3", std::nullopt, "Mac15,3 · Fans: 1 · Native SMC"},
        {1, "Apple M1", std::nullopt, "Apple M1 · Fans: 1 · Native SMC"},
    };
    initialSettings = englishSettings();
    for (const auto& summary : summaries) {
        auto preflight = preflightOf({fan(0, Mode::automatic)});
        preflight.capabilities.chipGeneration = summary.generation;
        preflight.capabilities.model = summary.model;
        preflight.capabilities.controlMechanism = summary.mechanism;
        reader = std::make_shared<fakes::ScriptedFanHardwareReader>();
        reader->answerPreflight(preflight);
        makeModel();
        EXPECT_EQ(model->hardwareSummary(), "Detecting native SMC…");
        start(peer->refreshHardwareStatus());
        EXPECT_EQ(model->hardwareSummary(), summary.expected);
    }

    EXPECT_FALSE(model->temperatureReading(core::TemperatureSource::gpu,
                                           core::TemperatureAggregation::hottest));
    core::SensorSnapshot snapshot;
    snapshot.cpuTemperatures = {{"Tp01", 61.0}, {"Tp05", 65.0}};
    snapshot.gpuTemperatures = {{"Tg0f", 58.5}};
    peer->setLatestSensorSnapshot(snapshot);
    const auto preview = model->temperatureReading(core::TemperatureSource::gpu,
                                                   core::TemperatureAggregation::hottest);
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->value, 58.5);
    EXPECT_EQ(preview->label, "Tg0f");
}

TEST_F(AppModelPresentationTests, TheApprovalPromptOpensTheSettingsOnlyWhileShown) {
    makeModel();
    model->openHelperApprovalSettings();
    EXPECT_EQ(settingsOpener->loginItemsOpened, 0);
    model->setHelperApprovalPromptPresented(true);
    model->openHelperApprovalSettings();
    EXPECT_FALSE(model->helperApprovalPromptPresented());
    EXPECT_EQ(settingsOpener->loginItemsOpened, 1);
}

TEST_F(AppModelPresentationTests, EveryWriteIsAnnouncedWhileTheFieldStillHoldsItsOldValue) {
    makeModel();
    struct Seen {
        PublishedField field;
        bool controlEnabled;
        bool operationInProgress;
        std::string status;
    };
    std::vector<Seen> seen;
    const auto subscription = model->subscribeWillChange([&](PublishedField field) {
        seen.push_back(
            {field, model->controlEnabled(), model->operationInProgress(), model->statusMessage()});
    });
    switchControlOn();

    std::vector<PublishedField> fields;
    for (const auto& entry : seen) {
        fields.push_back(entry.field);
    }
    EXPECT_THAT(fields,
                ElementsAre(PublishedField::operationInProgress, PublishedField::helperReady,
                            PublishedField::hardwareCapabilities, PublishedField::fans,
                            PublishedField::controlEnabled, PublishedField::guardMode,
                            PublishedField::statusMessage, PublishedField::operationInProgress));
    EXPECT_FALSE(seen.front().operationInProgress) << "announced before it is set";
    EXPECT_FALSE(seen.at(4).controlEnabled);
    EXPECT_EQ(seen.at(6).status, "Starting…");
    EXPECT_TRUE(seen.back().operationInProgress) << "announced before it is cleared";

    // Every write counts, also one that keeps the value; an unsubscribed observer hears nothing.
    seen.clear();
    model->setHelperApprovalPromptPresented(false);
    EXPECT_EQ(seen.size(), 1U);
    model->unsubscribeWillChange(subscription);
    model->setHelperApprovalPromptPresented(true);
    EXPECT_EQ(seen.size(), 1U);
}

TEST_F(AppModelPresentationTests, EventsCarryTheModelsContextAtTheMomentTheyAreRecorded) {
    makeModel();
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string mode;
        std::string controlEnabled;
        std::string temperature;
    };
    const std::vector<Case> cases = {
        {"at start", [] {}, "Apple Automatic", "false", "unavailable"},
        {"a reading", [&] { peer->setCurrentTemperature(61.04); }, "Apple Automatic", "false",
         "61.0"},
        {"control on", [&] { switchControlOn(); }, "Apple Automatic", "true", "61.0"},
        {"boost", [&] { ownLevel(0, 55); }, "Boost", "true", "61.0"},
        {"another reading", [&] { peer->setCurrentTemperature(88.25); }, "Boost", "true", "88.2"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        testCase.arrange();
        peer->recordDiagnostic(Level::warning, "test.event", "text",
                               {{"mode", "caller's"}, {"fans", "caller's"}, {"extra", "kept"}});
        const auto recorded = sink->last("test.event");
        ASSERT_TRUE(recorded);
        EXPECT_EQ(recorded->level, Level::warning);
        EXPECT_EQ(recorded->message, "text");
        EXPECT_EQ(recorded->metadata,
                  (diagnostics::DiagnosticMetadata{
                      {"mode", testCase.mode},
                      {"control_enabled", testCase.controlEnabled},
                      {"temperature_c", testCase.temperature},
                      {"fans", diagnostics::DiagnosticSummary::fans(model->fans())},
                      {"extra", "kept"}}));
    }
    // The request is recorded before control goes on, the enabled event after.
    EXPECT_EQ(sink->last("control.requested")->metadata.at("control_enabled"), "false");
    EXPECT_EQ(sink->last("control.enabled")->metadata.at("control_enabled"), "true");
}

}  // namespace
}  // namespace ventrella::modeltests
