#include "VentrellaModelTests/ModelInvariantChecker.h"

#include <gtest/gtest.h>

#include <cmath>
#include <exception>

#include "VentrellaModelTests/AppModelTestPeer.h"

namespace ventrella::modeltests {

void ModelInvariantChecker::expect(Invariant invariant, bool holds, const std::string& what,
                                   const std::string& when) {
    if (!holds && !allowed_.contains(invariant)) {
        ADD_FAILURE() << "invariant broken " << when << ": " << what;
    }
}

void ModelInvariantChecker::check(model::AppModel& model, const std::string& when) {
    ++checks_;
    model::AppModelTestPeer peer(model);

    const auto target = peer.activeTargetPercentage();
    expect(Invariant::ownershipMatchesTarget, peer.ownsManualControl() == target.has_value(),
           "owning the fans exactly while a target is held", when);
    expect(Invariant::targetIsAPercentage, !target || (*target >= 1 && *target <= 100),
           "the target is a percentage", when);

    const std::int64_t epoch = peer.controlEpoch();
    expect(Invariant::epochNeverDecreases, !lastEpoch_ || epoch >= *lastEpoch_,
           "the epoch went from " + std::to_string(lastEpoch_.value_or(0)) + " to " +
               std::to_string(epoch),
           when);
    lastEpoch_ = epoch;

    bool valid = true;
    try {
        (void)model.settings().validated();
    } catch (const std::exception&) {
        valid = false;
    }
    expect(Invariant::settingsAreValid, valid, "the settings are valid", when);

    const auto& policy = peer.policy();
    const auto levelCount = static_cast<int>(model.settings().levels().size());
    expect(Invariant::policyFitsSettings,
           static_cast<int>(policy.levels().size()) == levelCount && policy.currentIndex() >= -1 &&
               policy.currentIndex() < levelCount,
           "the policy has the settings' levels", when);

    expect(Invariant::countsNotNegative,
           peer.sensorFailures() >= 0 && peer.coolingRequestsOutstanding() >= 0,
           "no count is negative", when);

    const auto& temperature = model.currentTemperature();
    expect(Invariant::temperatureIsFinite, !temperature || std::isfinite(*temperature),
           "the temperature is a number", when);
}

void ModelInvariantChecker::watch(model::AppModel& model) {
    lastEpoch_.reset();
    model.subscribeWillChange([this, &model](model::PublishedField field) {
        check(model, "before " + std::string(model::fieldName(field)) + " changes");
    });
}

}  // namespace ventrella::modeltests
