#pragma once

#include <cstdint>

#include "VentrellaShared/FanControlMode.h"

namespace ventrella::shared {

// One fan as read from the hardware; `id` is the SMC's fan index.
struct FanInfo {
    std::int64_t id = 0;
    double actualRPM = 0;
    double minimumRPM = 0;
    double maximumRPM = 0;
    double targetRPM = 0;
    FanControlMode mode = FanControlMode::unknown;

    bool isAutomatic() const { return mode == FanControlMode::automatic; }

    bool operator==(const FanInfo&) const = default;
};

}  // namespace ventrella::shared
