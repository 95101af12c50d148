#include "VentrellaShared/FanTargetVerifier.h"

#include <cmath>
#include <set>

#include "VentrellaShared/VentrellaProtocol.h"

namespace ventrella::shared::FanTargetVerifier {

namespace {

// Halves away from zero; callers have bounded the value to the plausible RPM range.
std::int64_t roundToNearest(double value) {
    return static_cast<std::int64_t>(std::round(value));
}

}  // namespace

bool hasValidLimits(const FanInfo& fan) {
    return std::isfinite(fan.minimumRPM) && std::isfinite(fan.maximumRPM) &&
           std::isfinite(fan.targetRPM) && fan.minimumRPM >= 0 && fan.minimumRPM < fan.maximumRPM &&
           fan.maximumRPM <= VentrellaProtocol::maximumPlausibleRPM &&
           fan.minimumRPM <= fan.targetRPM && fan.targetRPM <= fan.maximumRPM;
}

bool matches(const std::vector<FanInfo>& fans, const FanTargets& expectedTargets) {
    if (fans.empty() || fans.size() != expectedTargets.size()) {
        return false;
    }
    std::set<std::int64_t> ids;
    for (const FanInfo& fan : fans) {
        ids.insert(fan.id);
    }
    for (const auto& [id, target] : expectedTargets) {
        if (!ids.contains(id)) {
            return false;
        }
    }
    if (ids.size() != expectedTargets.size()) {
        return false;
    }
    for (const FanInfo& fan : fans) {
        if (fan.mode != FanControlMode::manual || !hasValidLimits(fan)) {
            return false;
        }
        const auto expected = static_cast<double>(expectedTargets.at(fan.id));
        if (expected < fan.minimumRPM || expected > fan.maximumRPM ||
            std::fabs(fan.targetRPM - expected) > static_cast<double>(targetToleranceRPM)) {
            return false;
        }
    }
    return true;
}

std::optional<FanTargets> verifiedTargets(const std::vector<FanInfo>& fans) {
    if (fans.empty()) {
        return std::nullopt;
    }
    FanTargets targets;
    for (const FanInfo& fan : fans) {
        if (fan.mode != FanControlMode::manual || !hasValidLimits(fan) ||
            targets.contains(fan.id)) {
            return std::nullopt;
        }
        targets[fan.id] = roundToNearest(fan.targetRPM);
    }
    return targets;
}

std::optional<std::int64_t> roundedTargetRPM(const FanInfo& fan) {
    if (!hasValidLimits(fan)) {
        return std::nullopt;
    }
    return roundToNearest(fan.targetRPM);
}

std::optional<std::int64_t> roundedActualRPM(const FanInfo& fan) {
    if (!std::isfinite(fan.actualRPM) || fan.actualRPM < 0 ||
        fan.actualRPM > VentrellaProtocol::maximumPlausibleRPM) {
        return std::nullopt;
    }
    return roundToNearest(fan.actualRPM);
}

}  // namespace ventrella::shared::FanTargetVerifier
