#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "Platform/Foundation/InfoDictionary.h"
#include "SampleReportContext.h"
#include "ScopedGermanLocale.h"
#include "Support/ScopedLocalization.h"
#include "Ventrella/Diagnostics/AppVersion.h"
#include "Ventrella/Diagnostics/DiagnosticNumberText.h"
#include "Ventrella/Diagnostics/DiagnosticReportContext.h"
#include "Ventrella/Diagnostics/DiagnosticSummary.h"

namespace ventrella::diagnostics::testing {
namespace {

using core::AppLanguage;
using shared::FanControlMode;
using shared::FanInfo;

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();

TEST(DiagnosticNumberText, IsShortestOrOneDecimalWithAPointWhateverTheProcessLocale) {
    ScopedGermanLocale german;
    struct Case {
        double value;
        std::string shortest;
        std::string oneDecimal;
    };
    const std::vector<Case> cases = {
        {72, "72.0", "72.0"},
        {80.5, "80.5", "80.5"},
        {0.1, "0.1", "0.1"},
        {1.0 / 3.0, "0.3333333333333333", "0.3"},
        {80.25, "80.25", "80.2"},  // printf's rounding of the binary value
        {59.95, "59.95", "60.0"},
        {1234567, "1234567.0", "1234567.0"},
        {100000, "100000.0", "100000.0"},
        {1e22, "1e+22", "10000000000000000000000.0"},
        {0.00001, "1e-05", "0.0"},
        {-0.0, "-0.0", "-0.0"},
        {-3.5, "-3.5", "-3.5"},
        {infinity, "inf", "inf"},
        {-infinity, "-inf", "-inf"},
        {nan, "nan", "nan"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shortestDecimalText(c.value), c.shortest) << c.shortest;
        EXPECT_EQ(oneDecimalText(c.value), c.oneDecimal) << c.shortest;
    }
}

TEST(DiagnosticSummary, FansAreRoundedAndOutOfRangeSpeedsAreInvalid) {
    EXPECT_EQ(DiagnosticSummary::fans({}), "none");
    struct Case {
        double rpm;
        std::string text;
    };
    const std::vector<Case> cases = {
        {1834, "1834"},     {4999.5, "5000"},      {2.5, "3"},
        {0.49, "0"},        {-0.0, "0"},           {0, "0"},
        {100000, "100000"}, {100000.4, "invalid"}, {-5, "invalid"},
        {-0.4, "invalid"},  {infinity, "invalid"}, {nan, "invalid"},
    };
    for (const Case& c : cases) {
        const FanInfo fan{3, c.rpm, 1200, 5800, 0, FanControlMode::manual};
        EXPECT_EQ(DiagnosticSummary::fans({fan}),
                  "F3:actual=" + c.text + " min=1200 max=5800 target=0 mode=manual")
            << c.rpm;
    }
    const std::vector<FanInfo> two = {{0, 1834.4, 1200, 5800, 0, FanControlMode::automatic},
                                      {1, 2000, 1300, 6000.5, 3000, FanControlMode::unknown}};
    ScopedGermanLocale german;
    EXPECT_EQ(DiagnosticSummary::fans(two),
              "F0:actual=1834 min=1200 max=5800 target=0 mode=automatic | "
              "F1:actual=2000 min=1300 max=6001 target=3000 mode=unknown");
}

TEST(DiagnosticSummary, SettingsLineNamesTheFanControlFieldsOnly) {
    ScopedGermanLocale german;
    const core::GuardSettings fresh;
    EXPECT_EQ(DiagnosticSummary::settings(fresh),
              "language=system temperature_source=cpu temperature_aggregation=average "
              "boost=72.0-80.0C@55% emergency=80.0-90.0C poll=3.0s");

    core::GuardSettings changed;
    changed.appLanguage = AppLanguage::portugueseBrazil;
    changed.temperatureSource = core::TemperatureSource::cpuAndGPU;
    changed.temperatureAggregation = core::TemperatureAggregation::hottest;
    changed.boostExitCelsius = 72.25;
    changed.boostEnterCelsius = 80.5;
    changed.boostPercent = 60;
    changed.emergencyExitCelsius = 85;
    changed.emergencyEnterCelsius = 95.1;
    changed.pollIntervalSeconds = 2.5;
    // Not part of the line.
    changed.boostEnterSamples = 7;
    changed.emergencyMinimumHoldSeconds = 300;
    changed.launchAtLogin = true;
    EXPECT_EQ(DiagnosticSummary::settings(changed),
              "language=pt-BR temperature_source=cpuAndGPU temperature_aggregation=hottest "
              "boost=72.25-80.5C@60% emergency=85.0-95.1C poll=2.5s");
}

TEST(DiagnosticSummary, SensorGroupShowsTheFirst32KeysAndCountsTheRest) {
    EXPECT_EQ(DiagnosticSummary::sensorGroup("gpu", {}), "gpu[0]=");

    ScopedGermanLocale german;
    EXPECT_EQ(
        DiagnosticSummary::sensorGroup("cpu", {{"Tp09", 59.95}, {"Tp01", 61.25}, {"Te05", 48}}),
        "cpu[3]=Te05=48.0C,Tp01=61.2C,Tp09=60.0C");

    std::map<std::string, double> many;
    std::string expected;
    for (int index = 39; index >= 0; --index) {
        const std::string key = "T" + std::string(index < 10 ? "0" : "") + std::to_string(index);
        many[key] = 50 + index;
        if (index < 32) {
            expected = key + "=" + std::to_string(50 + index) + ".0C" +
                       (expected.empty() ? "" : "," + expected);
        }
    }
    EXPECT_EQ(DiagnosticSummary::sensorGroup("cpu", many), "cpu[40]=" + expected + ",+8 more");
    many.erase(many.upper_bound("T31"), many.end());
    EXPECT_EQ(DiagnosticSummary::sensorGroup("cpu", many), "cpu[32]=" + expected);
}

TEST(AppVersion, ShowsVersionAndBuildFromTheInfoDictionary) {
    const auto info = [](const std::string& entries) {
        return platform::foundation::InfoDictionary::parse("<plist version=\"1.0\"><dict>" +
                                                           entries + "</dict></plist>");
    };
    struct Case {
        std::string entries;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"<key>CFBundleShortVersionString</key><string>2.1</string>"
         "<key>CFBundleVersion</key><string>45</string>",
         "2.1 (45)"},
        {"<key>CFBundleShortVersionString</key><string>2.1</string>", "2.1"},
        {"<key>CFBundleShortVersionString</key><string>2.1</string>"
         "<key>CFBundleVersion</key><integer>45</integer>",
         "2.1"},
        {"<key>CFBundleVersion</key><string>45</string>", "Entwicklung"},
        {"<key>CFBundleShortVersionString</key><real>2.1</real>", "Entwicklung"},
        {"", "Entwicklung"},
    };
    testsupport::ScopedLocalization localization(VENTRELLA_APP_BUNDLE_DIR, AppLanguage::german);
    for (const Case& c : cases) {
        EXPECT_EQ(AppVersion(info(c.entries)).displayText(), c.text) << c.entries;
    }
    EXPECT_EQ(AppVersion(info("<key>CFBundleShortVersionString</key><string>2.1</string>"
                              "<key>CFBundleVersion</key><string>45</string>")),
              AppVersion("2.1", "45"));
}

// The whole header, in place, is in the coordinator's report test.
TEST(DiagnosticReportContext, HeaderHasTheTenKeysWithoutATemperature) {
    ScopedGermanLocale german;
    auto context = sampleReportContext();
    context.temperatureCelsius.reset();
    context.controlEnabled = false;
    context.helperReady = false;
    const auto header = context.header();
    std::vector<std::string> keys;
    for (const auto& [key, value] : header) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"app_version", "control_enabled", "fans",
                                              "guard_mode", "hardware", "helper_ready", "macos",
                                              "sensors", "settings", "temperature_c"}));
    EXPECT_EQ(header.at("temperature_c"), "unavailable");
    EXPECT_EQ(header.at("control_enabled"), "false");
    EXPECT_EQ(header.at("helper_ready"), "false");
}

}  // namespace
}  // namespace ventrella::diagnostics::testing
