#include "VentrellaShared/FanControlEngine.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "Platform/Foundation/Clock.h"
#include "VentrellaShared/ErrorDescription.h"
#include "VentrellaShared/FanControlEngineError.h"
#include "VentrellaShared/FanTargetPlanner.h"
#include "VentrellaShared/FanTargetPlannerError.h"
#include "VentrellaShared/FanTargetVerifier.h"

namespace ventrella::shared {

namespace {

bool allAutomatic(const std::vector<FanInfo>& fans) {
    return std::all_of(fans.begin(), fans.end(),
                       [](const FanInfo& fan) { return fan.isAutomatic(); });
}

}  // namespace

std::function<double()> FanControlEngine::defaultNow() {
    return &platform::foundation::systemUptimeSeconds;
}

std::function<void(double)> FanControlEngine::defaultWait() {
    return &platform::foundation::sleepForSeconds;
}

FanControlEngine::FanControlEngine(std::shared_ptr<FanControlHardware> hardware,
                                   std::shared_ptr<FanControlMarkerStore> marker,
                                   std::shared_ptr<FanControlWatchdog> watchdog,
                                   std::function<double()> now, std::function<void(double)> wait)
    : hardware_(std::move(hardware)),
      marker_(std::move(marker)),
      watchdog_(std::move(watchdog)),
      now_(std::move(now)),
      wait_(std::move(wait)) {}

HelperStatus FanControlEngine::status() {
    auto fans = hardware_->readFans();
    auto state = allAutomatic(fans) ? HelperControlState::automatic : HelperControlState::manual;
    return HelperStatus{state, std::move(fans), activePercentage_};
}

FanControlResult FanControlEngine::restoreAutomatic() {
    watchdog_->cancel();
    std::vector<FanInfo> fans;
    try {
        fans = hardware_->restoreAutomatic();
        if (!allAutomatic(fans)) {
            throw FanControlEngineError::automaticVerificationFailed();
        }
        marker_->clear();
    } catch (...) {
        // While the marker remains the fans may still be manual: let the watchdog try again.
        if (marker_->isMarked()) {
            watchdog_->arm();
        }
        throw;
    }
    activeTargets_.reset();
    activePercentage_.reset();
    return FanControlResult{HelperControlState::automatic, std::move(fans), std::nullopt};
}

FanControlResult FanControlEngine::prepareTakeover(double operationBudget) {
    const double start = now_();
    hardware_->validateControlSupport();
    restoreAutomatic();
    const double deadline = start + operationBudget;
    checkDeadline(deadline);
    wait_(takeoverStabilitySeconds);
    checkDeadline(deadline);
    auto fans = hardware_->readFans();
    checkDeadline(deadline);
    // Another program may have taken the fans back while we waited.
    if (fans.empty() || !allAutomatic(fans)) {
        throw FanControlEngineError::takeoverNotStable();
    }
    return FanControlResult{HelperControlState::automatic, std::move(fans), std::nullopt};
}

FanControlResult FanControlEngine::applyCooling(std::int64_t percentage, double operationBudget) {
    hardware_->validateControlSupport();
    auto fans = hardware_->readFans();
    const bool marked = marker_->isMarked();

    if (!marked && !allAutomatic(fans)) {
        throw FanControlEngineError::externalManualControl();
    }
    if (marked) {
        // Without our own targets on every fan (someone changed them, or we restarted and hold
        // none) we cannot vouch for the fans: hand them back instead of writing.
        if (!FanTargetVerifier::matches(fans, activeTargets_.value_or(FanTargets{}))) {
            return restoreAutomatic();
        }
        if (activePercentage_ == percentage) {
            watchdog_->arm();
            return FanControlResult{HelperControlState::manual, std::move(fans), percentage};
        }
    }

    const auto mode = marked ? FanTargetPlanningMode::ownedAdjustment
                             : FanTargetPlanningMode::initialAutomaticAcquisition;
    const FanTargets targets = FanTargetPlanner::targets(fans, percentage, mode);

    const double start = now_();
    try {
        marker_->mark(percentage);
    } catch (...) {
        if (marker_->isMarked()) {
            watchdog_->arm();
        }
        throw;
    }
    const double deadline = start + operationBudget;
    watchdog_->arm();

    try {
        return writeAndVerify(fans, targets, percentage, deadline);
    } catch (...) {
        // Keep the original object so callers see exactly what failed.
        std::exception_ptr failure = std::current_exception();
        try {
            restoreAutomatic();
        } catch (...) {
            throw FanControlEngineError::rollbackFailed(errorDescription(failure),
                                                        errorDescription(std::current_exception()));
        }
        std::rethrow_exception(failure);
    }
}

FanControlResult FanControlEngine::writeAndVerify(const std::vector<FanInfo>& fans,
                                                  const FanTargets& targets,
                                                  std::int64_t percentage, double deadline) {
    for (const FanInfo& fan : fans) {
        checkDeadline(deadline);
        hardware_->enableManualMode(fan.id);
        checkDeadline(deadline);
        auto target = targets.find(fan.id);
        if (target == targets.end()) {
            throw FanTargetPlannerError::invalidLimits(fan.id);
        }
        hardware_->writeTargetRPM(fan.id, target->second);
    }
    auto verified = verifyManualTargets(targets, deadline);
    auto kept = FanTargetVerifier::verifiedTargets(verified);
    if (!kept) {
        throw FanControlEngineError::manualVerificationFailed();
    }
    // Remember what the fans actually carry, so a renewal compares against the hardware's view.
    activeTargets_ = std::move(*kept);
    activePercentage_ = percentage;
    return FanControlResult{HelperControlState::manual, std::move(verified), percentage};
}

std::vector<FanInfo> FanControlEngine::verifyManualTargets(const FanTargets& targets,
                                                           double deadline) {
    checkDeadline(deadline);
    for (int attempt = 1;; ++attempt) {
        auto fans = hardware_->verifyManualTargets(targets);
        if (FanTargetVerifier::matches(fans, targets)) {
            return fans;
        }
        if (attempt >= manualVerificationAttempts) {
            throw FanControlEngineError::manualVerificationFailed();
        }
        wait_(manualVerificationInterval);
        checkDeadline(deadline);
    }
}

void FanControlEngine::checkDeadline(double deadline) const {
    if (now_() > deadline) {
        throw FanControlEngineError::operationTimedOut();
    }
}

}  // namespace ventrella::shared
