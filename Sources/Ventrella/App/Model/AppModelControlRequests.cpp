// The user's control requests: switching fan control on and off, taking control over from
// another application, and installing the helper.

#include <algorithm>
#include <utility>

#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/App/Model/ErrorText.h"
#include "Ventrella/Core/L10n.h"
#include "Ventrella/Core/VentrellaError.h"

namespace ventrella::model {

namespace {

using core::L10n;
using core::VentrellaError;
using diagnostics::DiagnosticLevel;
using platform::dispatch::Task;

bool isExternalManualControl(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const VentrellaError& ventrellaError) {
        return ventrellaError.kind() == VentrellaError::Kind::externalManualControl;
    } catch (...) {
        return false;
    }
}

}  // namespace

// ---- Public requests ----

void AppModel::requestControl(bool enabled) {
    if (operationInProgress_.get()) {
        return;
    }
    // Enabling again would drop ownership of fans the model holds in manual mode without
    // restoring them, or take its own manual fans for another application's. Enabling while a
    // restore is out (failing closed, sleep, a wake) would be undone by its late reply, as a
    // user's own disable is waited for.
    if (enabled && (controlEnabled_.get() || restoresOutstanding_ > 0)) {
        return;
    }
    recordDiagnostic(DiagnosticLevel::info, "control.requested", "",
                     {{"enabled", enabled ? "true" : "false"}});
    startUserOperation(controlRequest(enabled));
}

void AppModel::requestTakeover() {
    if (!canTakeOverControl()) {
        return;
    }
    startUserOperation(takeOverControl());
}

void AppModel::installHelper() {
    if (operationInProgress_.get()) {
        return;
    }
    startUserOperation(installation());
}

void AppModel::startUserOperation(VoidTask operation) {
    operationInProgress_.set(true);
    tasks_.spawn(runUserOperation(std::move(operation)));
}

Task<void> AppModel::runUserOperation(VoidTask operation) {
    std::exception_ptr failure;
    try {
        co_await std::move(operation);
    } catch (...) {
        failure = std::current_exception();
    }
    operationInProgress_.set(false);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

Task<void> AppModel::controlRequest(bool enabled) {
    if (enabled) {
        co_await enableControl();
    } else {
        co_await disableControl(L10n::string("Fan control is off; Apple Automatic is in control."));
    }
}

// ---- Enable and disable ----

Task<void> AppModel::enableControl() {
    auto read = [reader = dependencies_.reader] { return reader->preflight(); };
    std::exception_ptr failure;
    try {
        (void)settings_.get().validated();
        (void)co_await dependencies_.helper->status();
        helperReady_.set(true);
        apphardware::HardwarePreflight preflight =
            co_await platform::dispatch::detached(std::move(read));
        hardwareCapabilities_.set(preflight.capabilities);
        fans_.set(preflight.fans);
        if (!preflight.capabilities.canControl) {
            throw VentrellaError::unsupportedHardware(preflight.capabilities.reason.value_or(
                "Fan control is unavailable on this hardware."));
        }
        if (anyFanNotAutomatic(preflight.fans)) {
            throw VentrellaError::externalManualControl();
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        enableFailed(failure);
        co_return;
    }
    policy_ = core::FanPolicy(settings_.get().levels());
    ++controlEpoch_;
    sensorFailures_ = 0;
    clearOwnership();
    controlEnabled_.set(true);
    guardMode_.set(core::GuardMode::automatic());
    statusMessage_.set(L10n::string("Ventrella is active and monitoring the thresholds."));
    recordDiagnostic(DiagnosticLevel::info, "control.enabled", "");
}

void AppModel::enableFailed(const std::exception_ptr& error) {
    controlEnabled_.set(false);
    const std::string message = errorText(error);
    const bool externalManual = isExternalManualControl(error);
    // Manual fans may be the model's own leftovers: the failed restore's fault stays shown
    // until a restore succeeds.
    if (!(externalManual && mayHoldManualTarget())) {
        statusMessage_.set(message);
        guardMode_.set(externalManual ? core::GuardMode::externalManual()
                                      : core::GuardMode::fault(message));
    }
    recordDiagnostic(DiagnosticLevel::error, "control.enable_failed", message);
}

Task<void> AppModel::disableControl(std::string reason) {
    // First of all: replies to requests still under way no longer claim the fans.
    ++controlEpoch_;
    controlEnabled_.set(false);
    if (!mayHoldManualTarget()) {
        resetPolicy();
        activeTargetPercentage_.reset();
        guardMode_.set(modeFromFans(fans_.get()));
        statusMessage_.set(reason);
        recordDiagnostic(DiagnosticLevel::info, "control.disabled", reason);
        co_return;
    }
    std::optional<shared::FanControlResult> restored;
    std::exception_ptr failure;
    ++restoresOutstanding_;
    try {
        restored = co_await dependencies_.helper->restoreAutomatic();
    } catch (...) {
        failure = std::current_exception();
    }
    --restoresOutstanding_;
    // The reply counts whatever the epoch is by now: the fans are back, or they are not.
    if (restored) {
        manualStateUncertain_ = false;
        fans_.set(restored->fans);
        clearOwnership();
        resetPolicy();
        guardMode_.set(modeFromFans(restored->fans));
        statusMessage_.set(reason);
        recordDiagnostic(DiagnosticLevel::info, "control.disabled", reason);
        co_return;
    }
    // Ownership, the target and the policy stay: the fans still count as the model's, and
    // the next disable or termination asks again.
    const std::string message = errorText(failure);
    guardMode_.set(
        core::GuardMode::fault(L10n::format("Automatic mode could not be restored: %@", message)));
    statusMessage_.set(
        L10n::string("CRITICAL: Automatic mode could not be restored on every fan."));
    recordDiagnostic(DiagnosticLevel::error, "control.restore_failed", message);
}

// ---- Takeover ----

Task<void> AppModel::takeOverControl() {
    std::exception_ptr failure;
    try {
        (void)settings_.get().validated();
        shared::FanControlResult result = co_await dependencies_.helper->prepareTakeover();
        const bool stable =
            !result.fans.empty() &&
            std::all_of(result.fans.begin(), result.fans.end(),
                        [](const shared::FanInfo& fan) { return fan.isAutomatic(); });
        if (!stable) {
            throw VentrellaError::commandFailed(
                "Control could not be taken over because Apple Automatic is not stable.");
        }
        fans_.set(std::move(result.fans));
        guardMode_.set(core::GuardMode::automatic());
        statusMessage_.set(L10n::string("Apple Automatic verified; activating Ventrella…"));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        co_await takeoverFailed(failure);
        co_return;
    }
    co_await enableControl();
    if (controlEnabled_.get()) {
        statusMessage_.set(L10n::string("Control taken over; Ventrella is active."));
        recordDiagnostic(DiagnosticLevel::info, "control.takeover_succeeded", "");
    }
}

Task<void> AppModel::takeoverFailed(std::exception_ptr error) {
    controlEnabled_.set(false);
    clearOwnership();
    co_await refreshHardwareStatus();
    const std::string message = errorText(error);
    const std::string text = L10n::format("Control could not be taken over: %@", message);
    guardMode_.set(externalManualDetected() ? core::GuardMode::externalManual()
                                            : core::GuardMode::fault(text));
    statusMessage_.set(text);
    recordDiagnostic(DiagnosticLevel::error, "control.takeover_failed", message);
}

// ---- Installation ----

Task<void> AppModel::installation() {
    // A new helper would not know of a target the old one may still hold.
    if (controlEnabled_.get() || mayHoldManualTarget()) {
        co_await disableControl(
            L10n::string("Restoring Apple Automatic before updating the Helper…"));
        if (mayHoldManualTarget()) {
            statusMessage_.set(L10n::string(
                "The Helper was not updated because Automatic mode could not be verified."));
            co_return;
        }
    }
    dependencies_.helper->resetConnection();
    auto install = [installer = dependencies_.installer] { return installer->install(); };
    std::optional<apphardware::InstallationOutcome> outcome;
    std::exception_ptr failure;
    try {
        outcome = co_await platform::dispatch::detached(std::move(install));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        helperReady_.set(false);
        const std::string message = errorText(failure);
        statusMessage_.set(message);
        guardMode_.set(core::GuardMode::fault(message));
        recordDiagnostic(DiagnosticLevel::error, "helper.install_failed", message);
        co_return;
    }
    if (*outcome == apphardware::InstallationOutcome::requiresApproval) {
        helperReady_.set(false);
        helperInstalled_.set(true);
        helperApprovalPending_.set(true);
        guardMode_.set(core::GuardMode::automatic());
        statusMessage_.set(
            L10n::string("Approve Ventrella Fan Helper in System Settings > General > Login "
                         "Items & Extensions, then return and click Update."));
        recordDiagnostic(DiagnosticLevel::info, "helper.approval_required", "");
        helperApprovalPromptPresented_.set(true);
        co_return;
    }
    helperApprovalPromptPresented_.set(false);
    helperApprovalPending_.set(false);
    statusMessage_.set(L10n::string("Helper installed."));
    recordDiagnostic(DiagnosticLevel::info, "helper.install_completed", "");
    // The status request below opens a connection to the new helper.
    dependencies_.helper->resetConnection();
    (void)co_await refreshHelperStatus(3, 1.0, true);
}

}  // namespace ventrella::model
