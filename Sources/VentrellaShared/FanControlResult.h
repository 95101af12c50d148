#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "VentrellaShared/FanInfo.h"
#include "VentrellaShared/HelperControlState.h"

namespace ventrella::shared {

// Payload of the prepare-takeover, apply-cooling and restore replies.
struct FanControlResult {
    HelperControlState state = HelperControlState::automatic;
    std::vector<FanInfo> fans;
    // The percentage now in force; absent when the fans are back in Apple Automatic.
    std::optional<std::int64_t> appliedPercentage;

    bool operator==(const FanControlResult&) const = default;
};

}  // namespace ventrella::shared
