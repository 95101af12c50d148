#pragma once

#include <cstdint>

#include "Ventrella/Core/GuardSettings.h"

namespace ventrella::ui {

// How the settings page writes an edited value into its draft. The four temperatures are kept in
// a consistent order while the user drags: each exit stays at least 1 °C below its start, the
// Boost start at least 1 °C below the Emergency start, and every temperature within the range
// the settings accept. Each write rounds the value, applies the lower bound and then the upper
// one, so that the upper bound wins where the two cross; every other field is read from the
// draft as it is at that moment and left as it is.
class SettingsBindings {
  public:
    SettingsBindings() = delete;

    // To the nearest whole number, halves away from zero (2.5 gives 3, −2.5 gives −3).
    static double rounded(double value);

    static void writeBoostExit(core::GuardSettings& draft, double celsius);
    static void writeBoostEnter(core::GuardSettings& draft, double celsius);
    static void writeEmergencyExit(core::GuardSettings& draft, double celsius);
    static void writeEmergencyEnter(core::GuardSettings& draft, double celsius);

    // The slider's value, rounded; its range keeps it within the accepted percentages.
    static void writeBoostPercent(core::GuardSettings& draft, double percent);

    // The sampling interval in whole seconds, as the sampling counter shows and writes it.
    static std::int64_t pollInterval(const core::GuardSettings& draft);
    static void writePollInterval(core::GuardSettings& draft, std::int64_t seconds);
};

}  // namespace ventrella::ui
