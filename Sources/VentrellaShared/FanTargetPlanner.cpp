#include "VentrellaShared/FanTargetPlanner.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "VentrellaShared/FanTargetPlannerError.h"
#include "VentrellaShared/VentrellaProtocol.h"

namespace ventrella::shared::FanTargetPlanner {

namespace {

bool hasPlannableLimits(const FanInfo& fan) {
    if (!std::isfinite(fan.minimumRPM) || !std::isfinite(fan.maximumRPM) ||
        !std::isfinite(fan.actualRPM) || !std::isfinite(fan.targetRPM)) {
        return false;
    }
    if (fan.minimumRPM < 0 || fan.minimumRPM >= fan.maximumRPM ||
        fan.maximumRPM > VentrellaProtocol::maximumPlausibleRPM || fan.actualRPM < 0 ||
        fan.targetRPM < 0) {
        return false;
    }
    // A whole-number target must fit between the limits, or no plan can be verified.
    return std::ceil(fan.minimumRPM) <= std::floor(fan.maximumRPM);
}

}  // namespace

FanTargets targets(const std::vector<FanInfo>& fans, std::int64_t percentage,
                   FanTargetPlanningMode mode) {
    if (percentage < VentrellaProtocol::minimumCoolingPercentage || percentage > 100) {
        throw FanTargetPlannerError::invalidPercentage();
    }
    if (fans.empty()) {
        throw FanTargetPlannerError::noFans();
    }
    std::set<std::int64_t> ids;
    for (const FanInfo& fan : fans) {
        ids.insert(fan.id);
    }
    if (ids.size() != fans.size()) {
        throw FanTargetPlannerError::duplicateFanID();
    }

    const auto fraction = static_cast<double>(percentage);
    FanTargets plan;
    for (const FanInfo& fan : fans) {
        if (!hasPlannableLimits(fan)) {
            throw FanTargetPlannerError::invalidLimits(fan.id);
        }
        if (fan.actualRPM > fan.maximumRPM + VentrellaProtocol::maximumTachometerOvershootRPM ||
            fan.targetRPM > fan.maximumRPM) {
            throw FanTargetPlannerError::existingCoolingOutsideLimits(fan.id);
        }
        double desired = fan.minimumRPM + ((fan.maximumRPM - fan.minimumRPM) * fraction) / 100.0;
        double chosen = desired;
        if (mode == FanTargetPlanningMode::initialAutomaticAcquisition) {
            double floor = std::min(fan.actualRPM, fan.maximumRPM);
            chosen = desired > floor ? desired : floor;
        }
        double target = std::min(std::ceil(chosen), std::floor(fan.maximumRPM));
        plan[fan.id] = static_cast<std::int64_t>(target);
    }
    return plan;
}

}  // namespace ventrella::shared::FanTargetPlanner
