#include "Ventrella/UI/SettingsDraft.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <functional>
#include <string>

#include "UISupport/QtTestApplication.h"

namespace ventrella::ui {
namespace {

using core::GuardSettings;

class SettingsDraftTest : public testing::Test {
  protected:
    void SetUp() override { uitest::QtTestApplication::ensure(); }
};

// Each case starts from the default settings (Boost 72/80 °C, Emergency 80/90 °C) with the
// changes in `from`, writes `written` through one binding and reads the four temperatures.
TEST_F(SettingsDraftTest, TemperatureBindingsRoundThenApplyTheLowerAndFinallyTheUpperBound) {
    using Write = std::function<void(SettingsDraft&, double)>;
    const Write boostExit = [](SettingsDraft& d, double x) { d.setBoostExitBinding(x); };
    const Write boostEnter = [](SettingsDraft& d, double x) { d.setBoostEnterBinding(x); };
    const Write emergencyExit = [](SettingsDraft& d, double x) { d.setEmergencyExitBinding(x); };
    const Write emergencyEnter = [](SettingsDraft& d, double x) { d.setEmergencyEnterBinding(x); };
    struct Temperatures {
        double boostExit = 72, boostEnter = 80, emergencyExit = 80, emergencyEnter = 90;
    };
    const struct {
        const char* name;
        Temperatures from;
        Write write;
        double written;
        Temperatures stored;
    } cases[] = {
        {"Boost start below the Emergency start", {}, boostEnter, 95, {72, 89, 80, 90}},
        {"Boost start above its exit", {}, boostEnter, 30, {72, 73, 80, 90}},
        {"Boost start never below 45", {40, 80, 80, 90}, boostEnter, 30, {40, 45, 80, 90}},
        {"Boost start never above 105", {72, 80, 100, 110}, boostEnter, 107, {72, 105, 100, 110}},
        {"half a degree up", {}, boostEnter, 80.5, {72, 81, 80, 90}},
        {"less than half a degree down", {}, boostEnter, 80.49, {72, 80, 80, 90}},
        {"Boost exit below its start", {}, boostExit, 85, {79, 80, 80, 90}},
        {"Boost exit never below 40", {}, boostExit, 20, {40, 80, 80, 90}},
        {"Boost exit never above 100", {72, 105, 80, 110}, boostExit, 103, {100, 105, 80, 110}},
        {"Emergency start above both", {}, emergencyEnter, 60, {72, 80, 80, 81}},
        {"Emergency start above the Boost start",
         {72, 85, 60, 90},
         emergencyEnter,
         60,
         {72, 85, 60, 86}},
        {"Emergency start never above 110", {}, emergencyEnter, 130, {72, 80, 80, 110}},
        {"Emergency exit below its start", {}, emergencyExit, 95, {72, 80, 89, 90}},
        {"Emergency exit never above 105",
         {72, 80, 80, 110},
         emergencyExit,
         108,
         {72, 80, 105, 110}},
        {"Emergency exit never below 50", {}, emergencyExit, 12, {72, 80, 50, 90}},
        {"halves away from zero", {}, emergencyExit, 84.5, {72, 80, 85, 90}},
        // Where the bounds cross, the upper one wins.
        {"crossed bounds", {72, 80, 60, 70}, boostEnter, 60, {72, 69, 60, 70}},
        {"crossed bounds of the exit", {72, 40, 80, 90}, boostExit, 60, {39, 40, 80, 90}},
    };
    for (const auto& c : cases) {
        GuardSettings settings;
        settings.boostExitCelsius = c.from.boostExit;
        settings.boostEnterCelsius = c.from.boostEnter;
        settings.emergencyExitCelsius = c.from.emergencyExit;
        settings.emergencyEnterCelsius = c.from.emergencyEnter;
        SettingsDraft draft(settings);
        c.write(draft, c.written);
        EXPECT_EQ(draft.boostExitCelsius(), c.stored.boostExit) << c.name;
        EXPECT_EQ(draft.boostEnterCelsius(), c.stored.boostEnter) << c.name;
        EXPECT_EQ(draft.emergencyExitCelsius(), c.stored.emergencyExit) << c.name;
        EXPECT_EQ(draft.emergencyEnterCelsius(), c.stored.emergencyEnter) << c.name;
    }
}

TEST_F(SettingsDraftTest, PercentAndSamplingBindingsConvertBetweenWholeNumbersAndDoubles) {
    SettingsDraft draft;
    draft.setBoostPercentBinding(54.5);
    EXPECT_EQ(draft.settings().boostPercent, 55);
    draft.setBoostPercentBinding(61.49);
    EXPECT_EQ(draft.settings().boostPercent, 61);
    EXPECT_EQ(draft.boostPercentBinding(), 61.0);

    GuardSettings settings;
    settings.pollIntervalSeconds = 2.5;
    draft.replace(settings);
    EXPECT_EQ(draft.pollIntervalBinding(), 3);
    settings.pollIntervalSeconds = 4.49;
    draft.replace(settings);
    EXPECT_EQ(draft.pollIntervalBinding(), 4);
    draft.setPollIntervalBinding(2);
    EXPECT_EQ(draft.settings().pollIntervalSeconds, 2.0);
}

TEST_F(SettingsDraftTest, SignalsEveryChangeOnceAndNothingElse) {
    SettingsDraft draft;
    QSignalSpy changed(&draft, &SettingsDraft::changed);

    // Writes that leave the draft as it is, and raw values that name nothing.
    draft.setTemperatureSource(QStringLiteral("cpu"));
    draft.setTemperatureSource(QStringLiteral("npu"));
    draft.setTemperatureAggregation(QStringLiteral("median"));
    draft.setAppLanguage(QStringLiteral("xx"));
    draft.setBoostEnterBinding(80.2);
    draft.replace(GuardSettings{});
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(draft.settings(), GuardSettings{});

    draft.setTemperatureSource(QStringLiteral("cpuAndGPU"));
    draft.setTemperatureAggregation(QStringLiteral("hottest"));
    draft.setAppLanguage(QStringLiteral("pt-BR"));
    draft.setBoostEnterSamples(7);
    draft.setBoostExitSamples(12);
    draft.setEmergencyExitSamples(30);
    draft.setBoostMinimumHoldSeconds(90);
    draft.setEmergencyMinimumHoldSeconds(300);
    draft.setLaunchAtLogin(true);
    EXPECT_EQ(changed.count(), 9);

    GuardSettings expected;
    expected.temperatureSource = core::TemperatureSource::cpuAndGPU;
    expected.temperatureAggregation = core::TemperatureAggregation::hottest;
    expected.appLanguage = core::AppLanguage::portugueseBrazil;
    expected.boostEnterSamples = 7;
    expected.boostExitSamples = 12;
    expected.emergencyExitSamples = 30;
    expected.boostMinimumHoldSeconds = 90;
    expected.emergencyMinimumHoldSeconds = 300;
    expected.launchAtLogin = true;
    EXPECT_EQ(draft.settings(), expected);
    EXPECT_EQ(draft.temperatureSource(), QStringLiteral("cpuAndGPU"));
    EXPECT_EQ(draft.appLanguage(), QStringLiteral("pt-BR"));

    // Replacing by the defaults is one change.
    draft.replace(GuardSettings{});
    EXPECT_EQ(changed.count(), 10);
    EXPECT_EQ(draft.settings(), GuardSettings{});
}

}  // namespace
}  // namespace ventrella::ui
