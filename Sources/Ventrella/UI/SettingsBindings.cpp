#include "Ventrella/UI/SettingsBindings.h"

#include <cmath>

#include "Ventrella/UI/NumberText.h"

namespace ventrella::ui {

namespace {

// b when b < a, else a; and b when a ≤ b, else a: which of two equal bounds is taken never
// matters, and the order of the arguments says which bound is applied last.
double smaller(double a, double b) {
    return b < a ? b : a;
}

double larger(double a, double b) {
    return a <= b ? b : a;
}

}  // namespace

double SettingsBindings::rounded(double value) {
    return std::round(value);
}

void SettingsBindings::writeBoostExit(core::GuardSettings& draft, double celsius) {
    draft.boostExitCelsius =
        smaller(larger(rounded(celsius), 40), smaller(draft.boostEnterCelsius - 1, 100));
}

void SettingsBindings::writeBoostEnter(core::GuardSettings& draft, double celsius) {
    draft.boostEnterCelsius =
        smaller(larger(rounded(celsius), larger(draft.boostExitCelsius + 1, 45)),
                smaller(draft.emergencyEnterCelsius - 1, 105));
}

void SettingsBindings::writeEmergencyExit(core::GuardSettings& draft, double celsius) {
    draft.emergencyExitCelsius =
        smaller(larger(rounded(celsius), 50), smaller(draft.emergencyEnterCelsius - 1, 105));
}

void SettingsBindings::writeEmergencyEnter(core::GuardSettings& draft, double celsius) {
    const double lowest =
        larger(larger(draft.emergencyExitCelsius + 1, draft.boostEnterCelsius + 1), 55);
    draft.emergencyEnterCelsius = smaller(larger(rounded(celsius), lowest), 110);
}

void SettingsBindings::writeBoostPercent(core::GuardSettings& draft, double percent) {
    draft.boostPercent = NumberText::truncated(rounded(percent));
}

std::int64_t SettingsBindings::pollInterval(const core::GuardSettings& draft) {
    return NumberText::truncated(rounded(draft.pollIntervalSeconds));
}

void SettingsBindings::writePollInterval(core::GuardSettings& draft, std::int64_t seconds) {
    draft.pollIntervalSeconds = static_cast<double>(seconds);
}

}  // namespace ventrella::ui
