#include "Ventrella/Core/GuardSettings.h"

#include "Ventrella/Core/L10n.h"
#include "Ventrella/Core/VentrellaError.h"
#include "VentrellaShared/FanControlTiming.h"
#include "VentrellaShared/VentrellaProtocol.h"

namespace ventrella::core {

namespace {

// Written so that NaN, which fails every comparison, never lies within a range.
bool within(double value, double lowest, double highest) {
    return lowest <= value && value <= highest;
}

bool within(std::int64_t value, std::int64_t lowest, std::int64_t highest) {
    return lowest <= value && value <= highest;
}

[[noreturn]] void reject(std::string text) {
    throw VentrellaError::invalidConfiguration(std::move(text));
}

}  // namespace

GuardSettings GuardSettings::validated() const {
    constexpr double longestPoll = shared::FanControlTiming::maximumPollIntervalSeconds;
    if (!within(pollIntervalSeconds, 1.0, longestPoll)) {
        reject(L10n::format("The sampling interval must be between 1 and %d seconds.",
                            static_cast<std::int64_t>(longestPoll)));
    }
    if (!(boostExitCelsius < boostEnterCelsius)) {
        reject("The Boost exit temperature must be lower than its start temperature.");
    }
    if (!(emergencyExitCelsius < emergencyEnterCelsius)) {
        reject("The Emergency exit temperature must be lower than its start temperature.");
    }
    if (!(boostEnterCelsius < emergencyEnterCelsius)) {
        reject("The Emergency threshold must be higher than the Boost threshold.");
    }
    if (!within(boostExitCelsius, 40.0, 100.0) || !within(boostEnterCelsius, 45.0, 105.0) ||
        !within(emergencyExitCelsius, 50.0, 105.0) || !within(emergencyEnterCelsius, 55.0, 110.0)) {
        reject("Temperature thresholds must stay within the safe range of 40–110°C.");
    }
    if (!within(boostEnterSamples, 1, 20) || !within(boostExitSamples, 1, 60) ||
        !within(emergencyExitSamples, 1, 120)) {
        reject("The consecutive sample counts are outside the allowed range.");
    }
    if (!within(boostMinimumHoldSeconds, 0.0, 1800.0) ||
        !within(emergencyMinimumHoldSeconds, 0.0, 1800.0)) {
        reject("The minimum run time must be between 0 and 1800 seconds.");
    }
    constexpr auto lowestPercent = shared::VentrellaProtocol::minimumCoolingPercentage;
    if (!within(boostPercent, lowestPercent, 100)) {
        reject(L10n::format("The Boost fan percentage must be between %d and 100.", lowestPercent));
    }
    return *this;
}

std::vector<FanLevel> GuardSettings::levels() const {
    return {
        FanLevel{"boost", L10n::string("Boost"), boostEnterCelsius, boostExitCelsius,
                 FanTarget::percentage(boostPercent), boostEnterSamples, boostExitSamples,
                 boostMinimumHoldSeconds},
        FanLevel{"emergency", L10n::string("Emergency"), emergencyEnterCelsius,
                 emergencyExitCelsius, FanTarget::maximum(), 1, emergencyExitSamples,
                 emergencyMinimumHoldSeconds},
    };
}

}  // namespace ventrella::core
