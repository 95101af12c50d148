#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "VentrellaShared/FanInfo.h"
#include "VentrellaShared/HelperControlState.h"

namespace ventrella::shared {

// Payload of the status reply.
struct HelperStatus {
    HelperControlState state = HelperControlState::automatic;
    std::vector<FanInfo> fans;
    // The percentage last applied and verified; absent while the engine holds none.
    std::optional<std::int64_t> activePercentage;

    bool operator==(const HelperStatus&) const = default;
};

}  // namespace ventrella::shared
