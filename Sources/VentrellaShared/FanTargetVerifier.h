#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "VentrellaShared/FanInfo.h"
#include "VentrellaShared/FanTargets.h"

namespace ventrella::shared {

// Decides whether read-back fans carry the targets that were written. Never throws.
namespace FanTargetVerifier {

// The largest difference between a read-back target and the planned one that still matches.
inline constexpr std::int64_t targetToleranceRPM = 1;

// Finite limits, 0 <= minimum < maximum <= the plausible maximum, minimum <= target <= maximum.
bool hasValidLimits(const FanInfo& fan);

bool matches(const std::vector<FanInfo>& fans, const FanTargets& expectedTargets);

// The read-back targets, rounded, when every fan is in manual mode with valid limits.
std::optional<FanTargets> verifiedTargets(const std::vector<FanInfo>& fans);

std::optional<std::int64_t> roundedTargetRPM(const FanInfo& fan);
std::optional<std::int64_t> roundedActualRPM(const FanInfo& fan);

}  // namespace FanTargetVerifier

}  // namespace ventrella::shared
