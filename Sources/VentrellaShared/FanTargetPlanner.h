#pragma once

#include <cstdint>
#include <vector>

#include "VentrellaShared/FanInfo.h"
#include "VentrellaShared/FanTargetPlanningMode.h"
#include "VentrellaShared/FanTargets.h"

namespace ventrella::shared {

// Turns a cooling percentage into one whole-number target per fan.
namespace FanTargetPlanner {

// Throws FanTargetPlannerError. The percentage is checked before anything else, so any 64-bit
// value a client sends is refused cleanly. Each target is the ceiling of the chosen speed, held
// at the whole-number part of the fan's maximum so that it never lies above what the fan
// accepts.
FanTargets targets(const std::vector<FanInfo>& fans, std::int64_t percentage,
                   FanTargetPlanningMode mode);

}  // namespace FanTargetPlanner

}  // namespace ventrella::shared
