#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "Support/ScopedLocalization.h"
#include "Support/TemporaryBundle.h"
#include "Ventrella/Core/AppLanguage.h"
#include "Ventrella/Core/GuardMode.h"
#include "Ventrella/Core/GuardSettings.h"
#include "Ventrella/Core/SensorSnapshot.h"
#include "Ventrella/Core/VentrellaError.h"

namespace ventrella::core {
namespace {

using testsupport::ScopedLocalization;
using testsupport::TemporaryBundle;

class Records : public testing::Test {
  protected:
    ScopedLocalization localization{VENTRELLA_APP_BUNDLE_DIR, AppLanguage::english};
};

TEST_F(Records, ASnapshotYieldsTheReadingOfTheChosenSensors) {
    const SensorSnapshot snapshot{{{"TA", 60}, {"TB", 70}}, {{"TB", 90}}, {}};
    struct Case {
        TemperatureSource source;
        TemperatureAggregation aggregation;
        std::optional<TemperatureReading> expected;
    };
    using enum TemperatureSource;
    const auto hottest = TemperatureAggregation::hottest;
    const auto average = TemperatureAggregation::average;
    const std::vector<Case> cases = {
        // A key in both maps counts once, with its CPU value.
        {cpuAndGPU, hottest, TemperatureReading{70, "TB", 2}},
        {cpuAndGPU, average, TemperatureReading{65, "Sensors: 2", 2}},
        {gpu, hottest, TemperatureReading{90, "TB", 1}},
        {gpu, average, TemperatureReading{90, "Sensors: 1", 1}},
        {cpu, hottest, TemperatureReading{70, "TB", 2}},
        {cpu, average, TemperatureReading{65, "Sensors: 2", 2}},
    };
    for (const auto& [source, aggregation, expected] : cases) {
        EXPECT_EQ(snapshot.reading(source, aggregation), expected)
            << rawValue(source) << " " << rawValue(aggregation);
    }

    const SensorSnapshot cpuOnly{{{"Tp01", 50}, {"Tp02", 70}}, {}, {}};
    EXPECT_EQ(cpuOnly.reading(cpu, average), (TemperatureReading{60, "Sensors: 2", 2}));
    EXPECT_EQ(cpuOnly.reading(gpu, hottest), std::nullopt);
    EXPECT_EQ(SensorSnapshot{}.reading(cpuAndGPU, average), std::nullopt);

    // Of equally hot sensors the smallest key labels the reading.
    const SensorSnapshot tie{{{"Tc2", 80}, {"Tc1", 75}}, {{"Tg1", 80}, {"Ta0", 80}}, {}};
    EXPECT_EQ(tie.reading(cpuAndGPU, hottest), (TemperatureReading{80, "Ta0", 4}));
}

TEST_F(Records, TitlesAndNamesFollowTheInterfaceLanguage) {
    TemporaryBundle app;
    app.addTable("en", "");
    app.addTable("ja", R"("Apple Automatic" = "アップル自動";
"Boost" = "ブースト";
"Emergency cooling" = "緊急冷却";
"External manual control" = "外部の手動制御";
"Error" = "エラー";
"Hottest" = "最高";
"System Default" = "システム設定";
"Emergency" = "緊急";)");
    const ScopedLocalization japanese(app.path(), AppLanguage::japanese);

    EXPECT_EQ(GuardMode::automatic().title(), "Apple Automatic");  // never looked up
    EXPECT_EQ(GuardMode::boost().title(), "ブースト");
    EXPECT_EQ(GuardMode::emergency().title(), "緊急冷却");
    EXPECT_EQ(GuardMode::externalManual().title(), "外部の手動制御");
    EXPECT_EQ(GuardMode::fault("Helper down").title(), "エラー");
    EXPECT_EQ(GuardMode::fault("Helper down").faultMessage(), "Helper down");
    EXPECT_NE(GuardMode::fault("a"), GuardMode::fault("b"));

    EXPECT_EQ(title(TemperatureAggregation::hottest), "最高");
    EXPECT_EQ(title(TemperatureAggregation::average), "Average");
    EXPECT_EQ(compactTitle(TemperatureSource::cpuAndGPU), "CPU/GPU");
    EXPECT_EQ(displayName(AppLanguage::system), "システム設定");
    EXPECT_EQ(displayName(AppLanguage::german), "Deutsch");
    EXPECT_EQ(displayName(AppLanguage::japanese), "日本語");

    // Level names are fixed when the list is built.
    const auto japaneseLevels = GuardSettings{}.levels();
    L10n::setLanguage(AppLanguage::english);
    EXPECT_EQ(japaneseLevels[1].name, "緊急");
    EXPECT_EQ(GuardSettings{}.levels()[1].name, "Emergency");
}

TEST_F(Records, LevelsCarryTheSettingsInEscalationOrder) {
    GuardSettings settings;
    settings.boostPercent = 70;
    settings.emergencyExitSamples = 30;
    const auto levels = settings.levels();
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0],
              (FanLevel{"boost", "Boost", 80, 72, FanTarget::percentage(70), 3, 10, 60}));
    EXPECT_EQ(levels[1],
              (FanLevel{"emergency", "Emergency", 90, 80, FanTarget::maximum(), 1, 30, 120}));
    EXPECT_EQ(levels[0].target.percentageValue(), 70);
    EXPECT_EQ(levels[1].target.percentageValue(), std::nullopt);
}

TEST_F(Records, LanguagesListInOrderWithTheirRawValues) {
    std::vector<std::string> raw;
    for (auto language : allAppLanguages) {
        raw.emplace_back(rawValue(language));
        EXPECT_EQ(appLanguageFromRawValue(rawValue(language)), language);
    }
    EXPECT_EQ(raw, (std::vector<std::string>{"system", "en", "tr", "de", "es", "fr", "pt-BR", "it",
                                             "nl", "pl", "ru", "ja", "ko", "zh-Hans", "ar", "hi"}));
    EXPECT_EQ(appLanguageFromRawValue("pt_BR"), std::nullopt);
    for (auto source : allTemperatureSources) {
        EXPECT_EQ(temperatureSourceFromRawValue(rawValue(source)), source);
    }
    for (auto aggregation : allTemperatureAggregations) {
        EXPECT_EQ(temperatureAggregationFromRawValue(rawValue(aggregation)), aggregation);
    }
}

TEST_F(Records, ErrorsDescribeThemselvesInTheInterfaceLanguage) {
    using Kind = VentrellaError::Kind;
    const VentrellaError external = VentrellaError::externalManualControl();
    EXPECT_EQ(external.kind(), Kind::externalManualControl);
    EXPECT_EQ(external.errorDescription(),
              "A fan is being controlled manually by another app. Switch it to Automatic in that "
              "app first.");
    EXPECT_EQ(VentrellaError::anotherInstance().errorDescription(),
              "Ventrella is already running.");
    EXPECT_STREQ(VentrellaError::anotherInstance().what(), "Ventrella is already running.");

    EXPECT_EQ(VentrellaError::commandFailed("x"), VentrellaError::commandFailed("x"));
    EXPECT_NE(VentrellaError::commandFailed("x"), VentrellaError::parseFailed("x"));
    EXPECT_NE(VentrellaError::commandFailed("x"), VentrellaError::commandFailed("y"));

    L10n::setLanguage(AppLanguage::german);
    EXPECT_EQ(VentrellaError::anotherInstance().errorDescription(), "Ventrella läuft bereits.");
    EXPECT_EQ(
        VentrellaError::unsupportedHardware("Ventrella is already running.").errorDescription(),
        "Ventrella läuft bereits.");
    // A message without a translation, such as the helper's, is shown as it came.
    EXPECT_EQ(VentrellaError::commandFailed("The SMC refused the write.").errorDescription(),
              "The SMC refused the write.");
    EXPECT_STREQ(VentrellaError::anotherInstance().what(), "Ventrella is already running.");
}

}  // namespace
}  // namespace ventrella::core
