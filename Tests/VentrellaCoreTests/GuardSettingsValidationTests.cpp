#include "Ventrella/Core/GuardSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "Support/ScopedLocalization.h"
#include "Ventrella/Core/VentrellaError.h"

namespace ventrella::core {
namespace {

using testsupport::ScopedLocalization;

const std::string pollRule = "The sampling interval must be between 1 and 5 seconds.";
const std::string boostOrderRule =
    "The Boost exit temperature must be lower than its start temperature.";
const std::string emergencyOrderRule =
    "The Emergency exit temperature must be lower than its start temperature.";
const std::string thresholdOrderRule =
    "The Emergency threshold must be higher than the Boost threshold.";
const std::string rangeRule = "Temperature thresholds must stay within the safe range of 40–110°C.";
const std::string samplesRule = "The consecutive sample counts are outside the allowed range.";
const std::string holdRule = "The minimum run time must be between 0 and 1800 seconds.";
const std::string percentRule = "The Boost fan percentage must be between 40 and 100.";

// The English text of the error `validated()` throws, or "" when the settings pass.
std::string failure(const GuardSettings& settings) {
    try {
        EXPECT_EQ(settings.validated(), settings);
        return "";
    } catch (const VentrellaError& error) {
        EXPECT_EQ(error.kind(), VentrellaError::Kind::invalidConfiguration);
        return error.text();
    }
}

struct Case {
    const char* name;
    std::function<void(GuardSettings&)> change;
    std::string expected;
};

class GuardSettingsValidation : public testing::Test {
  protected:
    ScopedLocalization localization{VENTRELLA_APP_BUNDLE_DIR, AppLanguage::english};

    static void check(const std::vector<Case>& cases) {
        for (const auto& [name, change, expected] : cases) {
            GuardSettings settings;
            change(settings);
            EXPECT_EQ(failure(settings), expected) << name;
        }
    }
};

TEST_F(GuardSettingsValidation, EachRuleHoldsUpToItsBoundary) {
    check({
        {"fresh", [](auto&) {}, ""},
        {"poll 1", [](auto& s) { s.pollIntervalSeconds = 1; }, ""},
        {"poll 5", [](auto& s) { s.pollIntervalSeconds = 5; }, ""},
        {"poll 0.99", [](auto& s) { s.pollIntervalSeconds = 0.99; }, pollRule},
        {"poll 5.01", [](auto& s) { s.pollIntervalSeconds = 5.01; }, pollRule},
        {"boost exit = enter", [](auto& s) { s.boostExitCelsius = s.boostEnterCelsius = 72; },
         boostOrderRule},
        {"emergency exit = enter",
         [](auto& s) { s.emergencyExitCelsius = s.emergencyEnterCelsius = 90; },
         emergencyOrderRule},
        {"boost enter = emergency enter",
         [](auto& s) { s.boostEnterCelsius = s.emergencyEnterCelsius = 90; }, thresholdOrderRule},
        {"boost exit 40", [](auto& s) { s.boostExitCelsius = 40; }, ""},
        {"boost exit 39.9", [](auto& s) { s.boostExitCelsius = 39.9; }, rangeRule},
        {"boost enter 45",
         [](auto& s) {
             s.boostEnterCelsius = 45;
             s.boostExitCelsius = 44;
         },
         ""},
        {"boost enter 44.9",
         [](auto& s) {
             s.boostEnterCelsius = 44.9;
             s.boostExitCelsius = 44;
         },
         rangeRule},
        {"boost enter 106",
         [](auto& s) {
             s.boostEnterCelsius = 106;
             s.emergencyEnterCelsius = 110;
         },
         rangeRule},
        {"boost exit 100.5",
         [](auto& s) {
             s.boostExitCelsius = 100.5;
             s.boostEnterCelsius = 101;
             s.emergencyEnterCelsius = 110;
         },
         rangeRule},
        {"emergency exit 50", [](auto& s) { s.emergencyExitCelsius = 50; }, ""},
        {"emergency exit 49", [](auto& s) { s.emergencyExitCelsius = 49; }, rangeRule},
        {"emergency exit 105.5",
         [](auto& s) {
             s.emergencyExitCelsius = 105.5;
             s.emergencyEnterCelsius = 106;
         },
         rangeRule},
        {"emergency enter 110", [](auto& s) { s.emergencyEnterCelsius = 110; }, ""},
        {"emergency enter 110.1", [](auto& s) { s.emergencyEnterCelsius = 110.1; }, rangeRule},
        {"boost enter samples 1 and 20", [](auto& s) { s.boostEnterSamples = 20; }, ""},
        {"boost enter samples 0", [](auto& s) { s.boostEnterSamples = 0; }, samplesRule},
        {"boost enter samples 21", [](auto& s) { s.boostEnterSamples = 21; }, samplesRule},
        {"boost exit samples 60", [](auto& s) { s.boostExitSamples = 60; }, ""},
        {"boost exit samples 61", [](auto& s) { s.boostExitSamples = 61; }, samplesRule},
        {"emergency exit samples 120", [](auto& s) { s.emergencyExitSamples = 120; }, ""},
        {"emergency exit samples 121", [](auto& s) { s.emergencyExitSamples = 121; }, samplesRule},
        {"emergency exit samples 0", [](auto& s) { s.emergencyExitSamples = 0; }, samplesRule},
        {"hold 0 and 1800",
         [](auto& s) {
             s.boostMinimumHoldSeconds = 0;
             s.emergencyMinimumHoldSeconds = 1800;
         },
         ""},
        {"boost hold 1800.5", [](auto& s) { s.boostMinimumHoldSeconds = 1800.5; }, holdRule},
        {"emergency hold -0.1", [](auto& s) { s.emergencyMinimumHoldSeconds = -0.1; }, holdRule},
        {"percent 40", [](auto& s) { s.boostPercent = 40; }, ""},
        {"percent 100", [](auto& s) { s.boostPercent = 100; }, ""},
        {"percent 39", [](auto& s) { s.boostPercent = 39; }, percentRule},
        {"percent 101", [](auto& s) { s.boostPercent = 101; }, percentRule},
    });
}

TEST_F(GuardSettingsValidation, TheFirstFailingRuleWins) {
    check({
        {"1 before 8",
         [](auto& s) {
             s.pollIntervalSeconds = 6;
             s.boostPercent = 0;
         },
         pollRule},
        {"2 before 5",
         [](auto& s) {
             s.boostExitCelsius = 30;
             s.boostEnterCelsius = 20;
         },
         boostOrderRule},
        {"4 before 5 and 6",
         [](auto& s) {
             s.boostEnterCelsius = 95;
             s.boostEnterSamples = 0;
         },
         thresholdOrderRule},
        {"6 before 7",
         [](auto& s) {
             s.boostExitSamples = 0;
             s.boostMinimumHoldSeconds = -1;
         },
         samplesRule},
        {"7 before 8",
         [](auto& s) {
             s.emergencyMinimumHoldSeconds = 4000;
             s.boostPercent = 120;
         },
         holdRule},
    });
}

TEST_F(GuardSettingsValidation, ANumberThatIsNotANumberFailsItsFirstRule) {
    const double nan = std::nan("");
    check({
        {"poll", [nan](auto& s) { s.pollIntervalSeconds = nan; }, pollRule},
        {"boost exit", [nan](auto& s) { s.boostExitCelsius = nan; }, boostOrderRule},
        {"boost enter", [nan](auto& s) { s.boostEnterCelsius = nan; }, boostOrderRule},
        {"emergency exit", [nan](auto& s) { s.emergencyExitCelsius = nan; }, emergencyOrderRule},
        {"emergency enter", [nan](auto& s) { s.emergencyEnterCelsius = nan; }, emergencyOrderRule},
        {"boost hold", [nan](auto& s) { s.boostMinimumHoldSeconds = nan; }, holdRule},
        {"emergency hold", [nan](auto& s) { s.emergencyMinimumHoldSeconds = nan; }, holdRule},
    });
}

TEST_F(GuardSettingsValidation, OnlyTheFormattedRulesAreTranslatedWhenRaised) {
    GuardSettings badPoll;
    badPoll.pollIntervalSeconds = 0;
    GuardSettings badOrder;
    badOrder.boostExitCelsius = 85;
    auto raised = [](const GuardSettings& settings) {
        try {
            settings.validated();
        } catch (const VentrellaError& error) {
            return error;
        }
        ADD_FAILURE() << "validated";
        return VentrellaError::commandFailed("");
    };
    const VentrellaError pollError = raised(badPoll);
    const VentrellaError orderError = raised(badOrder);

    L10n::setLanguage(AppLanguage::german);
    // Rule 1 carries the sentence of the language it was raised in; rule 2 is translated when
    // it is shown.
    EXPECT_EQ(pollError.errorDescription(), pollRule);
    EXPECT_EQ(orderError.errorDescription(),
              "Die Endtemperatur von Boost muss unter seiner Starttemperatur liegen.");
    EXPECT_EQ(raised(badPoll).errorDescription(),
              "Das Abfrageintervall muss zwischen 1 und 5 Sekunden liegen.");
    GuardSettings badPercent;
    badPercent.boostPercent = 30;
    EXPECT_EQ(raised(badPercent).text(),
              "Die Boost-Lüfterleistung muss zwischen 40 und 100 % liegen.");
}

}  // namespace
}  // namespace ventrella::core
