// Applying the policy's decisions through the helper, renewing the manual target, and giving
// control up: failing closed, restoring after an uncertain apply, and accepting that another
// application took the fans.

#include <algorithm>
#include <string>
#include <utility>

#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/App/Model/ErrorText.h"
#include "Ventrella/Core/L10n.h"
#include "Ventrella/Core/VentrellaError.h"
#include "VentrellaShared/FanTargetVerifier.h"

namespace ventrella::model {

namespace {

using core::L10n;
using core::VentrellaError;
using diagnostics::DiagnosticLevel;
using platform::dispatch::Task;

constexpr const char* unverifiedTargetText =
    "The manual target could not be verified on every fan.";
constexpr const char* lostTargetText = "The active fan target was lost.";
constexpr const char* unknownStateText = "The Helper returned an unknown fan-control state.";

std::string relinquishedReason() {
    return L10n::string("Another app changed the fan target; Ventrella released control.");
}

// "F1 3120 · F2 3200": each fan's number from 1 and its rounded target, "—" when the fan's
// limits do not allow one.
std::string fanTargetsText(const std::vector<shared::FanInfo>& fans) {
    std::string text;
    for (const auto& fan : fans) {
        const auto target = shared::FanTargetVerifier::roundedTargetRPM(fan);
        const std::string entry =
            "F" + std::to_string(fan.id + 1) + " " + (target ? std::to_string(*target) : "—");
        text += text.empty() ? entry : " · " + entry;
    }
    return text;
}

}  // namespace

Task<shared::FanControlResult> AppModel::requestCooling(std::int64_t percentage) {
    ++coolingRequestsOutstanding_;
    std::optional<shared::FanControlResult> result;
    std::exception_ptr failure;
    try {
        result = co_await dependencies_.helper->applyCooling(percentage);
    } catch (...) {
        failure = std::current_exception();
    }
    --coolingRequestsOutstanding_;
    if (failure) {
        // Whether the helper took the target is unknown.
        manualStateUncertain_ = true;
        std::rethrow_exception(failure);
    }
    co_return std::move(*result);
}

Task<void> AppModel::apply(core::PolicyDecision decision, std::int64_t epoch) {
    if (decision.index >= 0) {
        co_await applyLevel(std::move(decision), epoch);
        co_return;
    }
    // Back to Apple Automatic. An error goes to the caller, which fails closed.
    shared::FanControlResult result = co_await dependencies_.helper->restoreAutomatic();
    manualStateUncertain_ = false;
    if (controlEpoch_ != epoch) {
        co_return;
    }
    fans_.set(std::move(result.fans));
    clearOwnership();
    guardMode_.set(core::GuardMode::automatic());
    statusMessage_.set(L10n::string("Temperature dropped; Apple Automatic was restored."));
    recordDiagnostic(DiagnosticLevel::info, "control.restored_automatic", "",
                     {{"reason", decision.reason}});
}

Task<void> AppModel::applyLevel(core::PolicyDecision decision, std::int64_t epoch) {
    // The level and its percentage as the settings say now; Boost or Emergency is decided from
    // the settings when the reply is in.
    const core::FanLevel level =
        settings_.get().levels().at(static_cast<std::size_t>(decision.index));
    const std::int64_t percentage = level.target.percentageValue().value_or(100);

    std::optional<shared::FanControlResult> reply;
    std::exception_ptr failure;
    try {
        reply = co_await requestCooling(percentage);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        recordDiagnostic(DiagnosticLevel::error, "control.apply_failed", errorText(failure),
                         {{"level", level.name}, {"percentage", std::to_string(percentage)}});
        co_await restoreAfterUncertainApply();
        std::rethrow_exception(failure);
    }
    shared::FanControlResult result = std::move(*reply);

    if (!controlEnabled_.get() || controlEpoch_ != epoch) {
        co_await restoreAfterStaleReply();
        co_return;
    }
    switch (result.state) {
        case shared::HelperControlState::automatic:
            acceptRelinquished(result, relinquishedReason());
            co_return;
        case shared::HelperControlState::fault:
            // The helper may hold a target that the model never verified.
            manualStateUncertain_ = true;
            throw VentrellaError::commandFailed(unverifiedTargetText);
        case shared::HelperControlState::manual:
            break;
    }
    const bool fanLeftAutomatic =
        std::any_of(result.fans.begin(), result.fans.end(),
                    [](const shared::FanInfo& fan) { return fan.isAutomatic(); });
    if (fanLeftAutomatic) {
        manualStateUncertain_ = true;
        throw VentrellaError::commandFailed(unverifiedTargetText);
    }

    const std::string targets = fanTargetsText(result.fans);
    fans_.set(std::move(result.fans));
    ownsManualControl_ = true;
    activeTargetPercentage_ = percentage;
    lastVerificationUptime_ = dependencies_.uptimeClock->uptimeSeconds();
    const auto levelCount = static_cast<int>(settings_.get().levels().size());
    guardMode_.set(decision.index == levelCount - 1 ? core::GuardMode::emergency()
                                                    : core::GuardMode::boost());
    statusMessage_.set(L10n::format("%@: %d%% · %@ RPM", level.name, percentage, targets));
    recordDiagnostic(DiagnosticLevel::info, "control.target_applied", "",
                     {{"level", level.name},
                      {"percentage", std::to_string(percentage)},
                      {"reason", decision.reason}});
}

Task<void> AppModel::restoreAfterUncertainApply() {
    std::optional<shared::FanControlResult> restored;
    try {
        restored = co_await dependencies_.helper->restoreAutomatic();
    } catch (...) {
        // The fail-closed step that follows asks again; the manual state stays uncertain.
    }
    if (restored) {
        manualStateUncertain_ = false;
        fans_.set(std::move(restored->fans));
        clearOwnership();
    }
}

Task<void> AppModel::restoreAfterStaleReply() {
    std::exception_ptr failure;
    try {
        (void)co_await dependencies_.helper->restoreAutomatic();
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        manualStateUncertain_ = true;
        std::rethrow_exception(failure);
    }
    manualStateUncertain_ = false;
}

Task<void> AppModel::failClosed(std::exception_ptr error) {
    const std::string text = errorText(error);
    recordDiagnostic(DiagnosticLevel::error, "control.fail_closed", text);
    co_await disableControl(L10n::format("Safe stop: %@", text));
    // External manual control, or the failed restore's own fault, stays shown.
    if (guardMode_.get().kind() == core::GuardMode::Kind::automatic) {
        guardMode_.set(core::GuardMode::fault(text));
    }
}

Task<void> AppModel::verifyAndRenew(std::int64_t epoch) {
    if (policy_.currentIndex() < 0) {
        // Owning the fans at Apple Automatic means the target was never given back: stopping
        // the renewals would leave it to the helper's watchdog.
        if (controlEnabled_.get() && controlEpoch_ == epoch && ownsManualControl_) {
            throw VentrellaError::commandFailed(lostTargetText);
        }
        co_return;
    }
    if (!activeTargetPercentage_) {
        throw VentrellaError::commandFailed(lostTargetText);
    }
    shared::FanControlResult result = co_await requestCooling(*activeTargetPercentage_);
    switch (result.state) {
        case shared::HelperControlState::automatic:
            // Another application has the fans, whatever the epoch.
            acceptRelinquished(result, relinquishedReason());
            co_return;
        case shared::HelperControlState::fault:
            manualStateUncertain_ = true;
            throw VentrellaError::commandFailed(unknownStateText);
        case shared::HelperControlState::manual:
            break;
    }
    fans_.set(std::move(result.fans));
    if (controlEnabled_.get() && controlEpoch_ == epoch) {
        co_return;
    }
    co_await restoreAfterStaleReply();
}

void AppModel::acceptRelinquished(const shared::FanControlResult& result,
                                  const std::string& reason) {
    ++controlEpoch_;
    controlEnabled_.set(false);
    fans_.set(result.fans);
    clearOwnership();
    // The helper has just said it holds no manual target.
    manualStateUncertain_ = false;
    resetPolicy();
    guardMode_.set(core::GuardMode::fault(reason));
    statusMessage_.set(reason);
    recordDiagnostic(DiagnosticLevel::warning, "control.relinquished", reason);
}

}  // namespace ventrella::model
