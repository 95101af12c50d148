// One cycle of the guard: what it shows with control off, what it does with control on, the
// thermal override and the sensor failures.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SMCKit/SMCError.h"
#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using core::GuardMode;
using testing::ElementsAre;
using ThermalState = platform::workspace::ThermalState;

class GuardCycleTests : public ModelTest {
  protected:
    // The next cycle, answering the renewals it makes as the helper would.
    void nextCycleRenewing() {
        nextCycle();
        while (helper->pendingCount() > 0 && nextRequest() == Request::applyCooling) {
            const auto percentage = helper->nextPending().percentage;
            reply(State::manual, fansIn(Mode::manual), percentage);
        }
    }
};

constexpr const char* monitoringText =
    "Monitoring is active; Apple Automatic is controlling the fans.";
constexpr const char* otherAppText =
    "One or more fans are being controlled manually by another app.";
constexpr const char* approveText =
    "Approve Ventrella Fan Helper in System Settings > General > Login Items & Extensions, then "
    "return and click Update.";
constexpr const char* externalManualText =
    "A fan is being controlled manually by another app. Switch it to Automatic in that app first.";

TEST_F(GuardCycleTests, WithControlOffTheCyclePublishesTheSampleAndShowsWhatTheFansDo) {
    struct Case {
        const char* name;
        std::vector<shared::FanInfo> fans;
        bool approvalPending;
        std::optional<GuardMode> shownBefore;
        GuardMode expectedMode;
        std::string expectedStatus;
    };
    const std::vector<Case> cases = {
        {"fans automatic",
         fansIn(Mode::automatic),
         false,
         {},
         GuardMode::automatic(),
         monitoringText},
        {"no fans", {}, false, {}, GuardMode::automatic(), monitoringText},
        {"a fan in an unknown mode",
         {fan(0, Mode::automatic), fan(1, Mode::unknown)},
         true,
         {},
         GuardMode::externalManual(),
         otherAppText},
        {"waiting for approval",
         fansIn(Mode::automatic),
         true,
         {},
         GuardMode::automatic(),
         approveText},
        {"a fault stays shown with the line before it", fansIn(Mode::manual), false,
         GuardMode::fault("broken"), GuardMode::fault("broken"), monitoringText},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        renewFakes();
        helperApprovalPending = testCase.approvalPending;
        makeModel();
        reader->answerSnapshot(snapshotAt(61, fansIn(Mode::automatic)));
        reader->answerSnapshot(snapshotAt(64, testCase.fans));
        // A helper waiting for approval does not answer.
        startMonitoringUnanswered();
        if (testCase.shownBefore) {
            peer->setGuardMode(*testCase.shownBefore);
        }
        nextCycle();
        EXPECT_EQ(model->currentTemperature(), 64.0);
        EXPECT_EQ(model->hottestSensor(), "Sensors: 2");
        EXPECT_EQ(model->latestSensorSnapshot(), snapshotAt(64, testCase.fans));
        EXPECT_EQ(model->fans(), testCase.fans);
        EXPECT_EQ(model->guardMode(), testCase.expectedMode);
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
    }
}

TEST_F(GuardCycleTests, WithControlOnAnotherAppsManualFanSwitchesControlOffBeforeThePolicy) {
    makeModel();
    startMonitoringWith(
        {snapshotAt(60), snapshotAt(85, {fan(0, Mode::manual), fan(1, Mode::automatic)})});
    switchControlOn();
    const auto requests = requestCount();
    nextCycle();
    EXPECT_FALSE(model->controlEnabled());
    EXPECT_EQ(model->guardMode(), GuardMode::externalManual());
    EXPECT_EQ(model->statusMessage(), externalManualText);
    EXPECT_EQ(sink->last("control.disabled")->message, externalManualText);
    EXPECT_EQ(peer->policy().aboveCounts().at(0), 0) << "the policy was not asked";
    EXPECT_EQ(requestCount(), requests) << "nothing of the model's to restore";
}

TEST_F(GuardCycleTests, ASeriousThermalStateForcesTheTopLevelOnceAndNamesTheState) {
    struct Case {
        const char* name;
        ThermalState state;
        std::string expectedName;
    };
    const std::vector<Case> cases = {
        {"serious", ThermalState::serious, "serious"},
        {"critical", ThermalState::critical, "critical"},
        {"a state without a name", static_cast<ThermalState>(9), "unknown"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        renewFakes();
        thermalState->set(ThermalState::nominal);
        makeModel();
        startMonitoringWith({snapshotAt(50)});
        switchControlOn();
        thermalState->set(testCase.state);
        nextCycle();
        ASSERT_EQ(helper->pendingCount(), 1U);
        EXPECT_EQ(helper->nextPending().percentage, 100) << "below every threshold";
        const auto override = sink->last("control.thermal_state_emergency");
        ASSERT_TRUE(override);
        EXPECT_EQ(override->level, Level::warning);
        EXPECT_EQ(override->metadata.at("thermal_state"), testCase.expectedName);
        reply(State::manual, fansIn(Mode::manual), 100);
        EXPECT_EQ(model->guardMode(), GuardMode::emergency());

        // At the top already: nothing recorded or applied, and the renewals go on.
        const auto requests = requestCount();
        for (int cycle = 0; cycle < 6; ++cycle) {
            nextCycleRenewing();
        }
        EXPECT_EQ(sink->count("control.thermal_state_emergency"), 1U);
        EXPECT_EQ(requestCount(), requests + 1) << "one renewal in 18 s";
        EXPECT_EQ(helper->requests().back().percentage, 100);
    }
}

TEST_F(GuardCycleTests, BackAtFairTheTopLevelIsLeftOnlyAfterItsHoldAndHysteresis) {
    makeModel();
    startMonitoringWith({snapshotAt(50)});
    switchControlOn();
    thermalState->set(ThermalState::serious);
    nextCycle();
    const double forcedAt = executor.uptime();
    reply(State::manual, fansIn(Mode::manual), 100);

    thermalState->set(ThermalState::fair);
    int samplesAtFair = 0;
    while (executor.uptime() < forcedAt + 300.0 && peer->policy().currentIndex() == 1) {
        nextCycleRenewing();
        ++samplesAtFair;
    }
    // Emergency holds 120 s, then needs 20 samples at or below its exit temperature: the
    // samples of 120 s, 123 s, ... 177 s after it was forced.
    EXPECT_EQ(executor.uptime() - forcedAt, 177.0);
    EXPECT_EQ(samplesAtFair, 59);
    ASSERT_EQ(nextRequest(), Request::restoreAutomatic) << "50 °C is below Boost's exit too";
    reply(State::automatic, fansIn(Mode::automatic));
    EXPECT_EQ(model->guardMode(), GuardMode::automatic());
    EXPECT_FALSE(peer->ownsManualControl());
    EXPECT_TRUE(model->controlEnabled());
}

TEST_F(GuardCycleTests,
       SensorFailuresCountInTheStatusAreRecordedSparinglyAndFailClosedFromTheThird) {
    const auto readError =
        std::make_exception_ptr(core::VentrellaError::commandFailed("The SMC did not answer."));
    struct Case {
        const char* name;
        bool controlOn;
        int failures;
        std::vector<std::string> expectedCounts;  // of the recorded events
        bool failsClosed;
        std::string expectedStatus;
        // The reader's error and its text as shown, in the settings' language.
        std::exception_ptr error;
        std::string expectedText;
        core::AppLanguage language = core::AppLanguage::english;
    };
    const std::vector<Case> cases = {
        {"control off",
         false,
         200,
         {"1", "3", "100", "200"},
         false,
         "Sensor read error 200/3: The SMC did not answer.",
         readError,
         "The SMC did not answer."},
        {"control off, four",
         false,
         4,
         {"1", "3"},
         false,
         "Sensor read error 4/3: The SMC did not answer.",
         readError,
         "The SMC did not answer."},
        {"control on",
         true,
         3,
         {"1", "3"},
         true,
         "Safe stop: The SMC did not answer.",
         readError,
         "The SMC did not answer."},
        // An English message of a lower layer, shown in the interface's language.
        {"control off, in German",
         false,
         3,
         {"1", "3"},
         false,
         "Sensor-Lesefehler 3/3: SMC-Verbindung nicht geöffnet",
         std::make_exception_ptr(smc::SMCError::notOpen()),
         "SMC-Verbindung nicht geöffnet",
         core::AppLanguage::german},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        renewFakes();
        auto settings = englishSettings();
        settings.appLanguage = testCase.language;
        initialSettings = settings;
        makeModel();
        reader->answerSnapshot(snapshotAt(60));
        reader->failSnapshot(testCase.error);
        startMonitoringNow();
        if (testCase.controlOn) {
            switchControlOn();
        }
        for (int failure = 1; failure <= testCase.failures; ++failure) {
            nextCycle();
            if (failure == 2 && testCase.language == core::AppLanguage::english) {
                EXPECT_EQ(model->statusMessage(), "Sensor read error 2/3: The SMC did not answer.");
                EXPECT_TRUE(model->controlEnabled() == testCase.controlOn);
            }
        }
        std::vector<std::string> counts;
        std::vector<Level> levels;
        for (const auto& record : sink->records()) {
            if (record.event == "sensor.read_failed") {
                counts.push_back(record.metadata.at("consecutive_failures"));
                levels.push_back(record.level);
                EXPECT_EQ(record.message, testCase.expectedText);
            }
        }
        EXPECT_EQ(counts, testCase.expectedCounts);
        EXPECT_EQ(levels.front(), Level::warning);
        EXPECT_EQ(levels.back(), Level::error);
        EXPECT_EQ(sink->count("control.fail_closed"), testCase.failsClosed ? 1U : 0U);
        EXPECT_FALSE(model->controlEnabled());
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        EXPECT_EQ(model->currentTemperature(), 60.0) << "the last reading stays";
    }
    core::L10n::setLanguage(core::AppLanguage::english);
}

TEST_F(GuardCycleTests, OnlyAUsableReadingResetsTheFailureCount) {
    auto settings = englishSettings();
    settings.temperatureSource = core::TemperatureSource::cpuAndGPU;
    settings.temperatureAggregation = core::TemperatureAggregation::hottest;
    initialSettings = settings;
    makeModel();
    core::SensorSnapshot empty;
    empty.fans = fansIn(Mode::automatic);
    reader->answerSnapshot(snapshotAt(60));
    reader->answerSnapshot(empty);
    reader->answerSnapshot(empty);
    reader->answerSnapshot(snapshotAt(61));
    reader->answerSnapshot(empty);
    reader->answerSnapshot(empty);
    reader->answerSnapshot(snapshotAt(62));
    startMonitoringNow();
    switchControlOn();

    nextCycle();
    nextCycle();
    EXPECT_EQ(model->statusMessage(),
              "Sensor read error 2/3: There are not enough valid sensors for the selected CPU + "
              "GPU source.");
    EXPECT_EQ(model->fans(), empty.fans) << "the sample is still published";
    EXPECT_EQ(model->currentTemperature(), 60.0);
    nextCycle();
    EXPECT_EQ(peer->sensorFailures(), 0);
    nextCycle();
    nextCycle();
    nextCycle();
    EXPECT_TRUE(model->controlEnabled()) << "never three in a row";
    EXPECT_EQ(sink->count("control.fail_closed"), 0U);
    EXPECT_EQ(model->currentTemperature(), 62.0);

    // Enabling starts the count over too.
    peer->setSensorFailures(2);
    start(peer->disableControl("off"));
    switchControlOn();
    EXPECT_EQ(peer->sensorFailures(), 0);

    // The other sources by their names.
    for (const auto& [source, name] : std::vector<std::pair<core::TemperatureSource, std::string>>{
             {core::TemperatureSource::cpu, "CPU"}, {core::TemperatureSource::gpu, "GPU"}}) {
        settings.temperatureSource = source;
        initialSettings = settings;
        makeModel();
        start(peer->handle(empty, executor.uptime()));
        EXPECT_EQ(model->statusMessage(),
                  "Sensor read error 1/3: There are not enough valid sensors for the selected " +
                      name + " source.");
    }
}

}  // namespace
}  // namespace ventrella::modeltests
