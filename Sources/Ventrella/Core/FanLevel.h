#pragma once

#include <cstdint>
#include <string>

#include "Ventrella/Core/FanTarget.h"

namespace ventrella::core {

// One cooling level of the policy (Boost or Emergency).
struct FanLevel {
    std::string id;
    std::string name;  // in the interface language of the moment the level was built
    double enterCelsius = 0;
    double exitCelsius = 0;
    FanTarget target = FanTarget::maximum();
    std::int64_t enterSamples = 0;
    std::int64_t exitSamples = 0;
    double minimumHoldSeconds = 0;

    bool operator==(const FanLevel&) const = default;
};

}  // namespace ventrella::core
