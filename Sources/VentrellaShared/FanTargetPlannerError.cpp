#include "VentrellaShared/FanTargetPlannerError.h"

#include "VentrellaShared/VentrellaProtocol.h"

namespace ventrella::shared {

namespace {

std::string describe(FanTargetPlannerError::Kind kind, std::int64_t fanID) {
    using Kind = FanTargetPlannerError::Kind;
    switch (kind) {
        case Kind::invalidLimits:
            return "Fan " + std::to_string(fanID) + " has invalid RPM limits.";
        case Kind::existingCoolingOutsideLimits:
            return "Fan " + std::to_string(fanID) +
                   " is currently running above its reported maximum; control cannot be applied "
                   "safely.";
        case Kind::invalidPercentage:
            return "Fan percentage must be between " +
                   std::to_string(VentrellaProtocol::minimumCoolingPercentage) + " and 100.";
        case Kind::noFans:
            return "No controllable fan was found.";
        case Kind::duplicateFanID:
            return "A duplicate fan identifier was detected.";
    }
    return {};
}

}  // namespace

FanTargetPlannerError::FanTargetPlannerError(Kind kind, std::int64_t fanID)
    : kind_(kind), fanID_(fanID), description_(describe(kind, fanID)) {}

FanTargetPlannerError FanTargetPlannerError::invalidLimits(std::int64_t fanID) {
    return {Kind::invalidLimits, fanID};
}

FanTargetPlannerError FanTargetPlannerError::existingCoolingOutsideLimits(std::int64_t fanID) {
    return {Kind::existingCoolingOutsideLimits, fanID};
}

FanTargetPlannerError FanTargetPlannerError::invalidPercentage() {
    return {Kind::invalidPercentage, 0};
}

FanTargetPlannerError FanTargetPlannerError::noFans() {
    return {Kind::noFans, 0};
}

FanTargetPlannerError FanTargetPlannerError::duplicateFanID() {
    return {Kind::duplicateFanID, 0};
}

}  // namespace ventrella::shared
