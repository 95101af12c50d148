#pragma once

#include <cstdint>
#include <vector>

#include "Ventrella/Core/AppLanguage.h"
#include "Ventrella/Core/FanLevel.h"
#include "Ventrella/Core/TemperatureAggregation.h"
#include "Ventrella/Core/TemperatureSource.h"

namespace ventrella::core {

// The user's guard settings; a default-made record holds the values a new user starts with.
// Temperatures are Celsius, times seconds. Its JSON form is in GuardSettingsJSON.h.
struct GuardSettings {
    AppLanguage appLanguage = AppLanguage::system;
    TemperatureSource temperatureSource = TemperatureSource::cpu;
    TemperatureAggregation temperatureAggregation = TemperatureAggregation::average;
    double boostEnterCelsius = 80;
    double boostExitCelsius = 72;
    std::int64_t boostPercent = 55;
    std::int64_t boostEnterSamples = 3;
    std::int64_t boostExitSamples = 10;
    double boostMinimumHoldSeconds = 60;
    double emergencyEnterCelsius = 90;
    double emergencyExitCelsius = 80;
    std::int64_t emergencyExitSamples = 20;
    double emergencyMinimumHoldSeconds = 120;
    double pollIntervalSeconds = 3;
    bool launchAtLogin = false;

    // These settings, when every rule holds; else throws VentrellaError::invalidConfiguration
    // with the first failing rule's sentence. A value that is not a number fails its rules.
    GuardSettings validated() const;

    // Boost (index 0) and Emergency (index 1), in the order the policy escalates; their names
    // are in the interface language of the moment.
    std::vector<FanLevel> levels() const;

    bool operator==(const GuardSettings&) const = default;
};

}  // namespace ventrella::core
