// Removing the helper, saving the settings, exporting the diagnostic report, quitting and the
// model's last step when the application ends.

#include <optional>
#include <string>
#include <utility>

#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/App/Model/ErrorText.h"
#include "Ventrella/Core/GuardSettingsJSON.h"
#include "Ventrella/Core/L10n.h"
#include "Ventrella/Diagnostics/AppVersion.h"
#include "Ventrella/Diagnostics/DiagnosticReportContext.h"
#include "Ventrella/Diagnostics/DiagnosticSummary.h"

namespace ventrella::model {

namespace {

using core::L10n;
using diagnostics::DiagnosticLevel;
using platform::dispatch::Task;

// The longest the synchronous restore at termination blocks the main thread.
constexpr double terminationRestoreSeconds = 4.0;
// The longest termination then waits for the diagnostic log.
constexpr double terminationDrainSeconds = 1.0;

}  // namespace

// ---- Helper removal ----

void AppModel::uninstallHelper() {
    if (operationInProgress_.get()) {
        return;
    }
    // Apple Automatic has to be verified through a helper that answers before it goes.
    if (!helperReady_.get()) {
        statusMessage_.set(L10n::string("Update the Helper to this version before removing it."));
        return;
    }
    startUserOperation(uninstallation());
}

Task<void> AppModel::uninstallation() {
    if (controlEnabled_.get() || mayHoldManualTarget()) {
        co_await disableControl(
            L10n::string("Restoring Apple Automatic before removing the Helper…"));
        if (mayHoldManualTarget()) {
            statusMessage_.set(L10n::string(
                "The Helper was not removed because Automatic mode could not be verified."));
            co_return;
        }
    }

    std::optional<shared::HelperStatus> status;
    std::exception_ptr failure;
    try {
        status = co_await dependencies_.helper->status();
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        uninstallFailed(failure);
        co_return;
    }
    if (status->state != shared::HelperControlState::automatic) {
        statusMessage_.set(
            L10n::string("The Helper was not removed because the fans are not in Automatic mode."));
        co_return;
    }

    auto uninstall = [installer = dependencies_.installer] { return installer->uninstall(); };
    try {
        (void)co_await platform::dispatch::detached(std::move(uninstall));
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        uninstallFailed(failure);
        co_return;
    }
    helperReady_.set(false);
    helperInstalled_.set(dependencies_.installer->isInstalled());
    helperApprovalPending_.set(false);
    guardMode_.set(core::GuardMode::automatic());
    statusMessage_.set(L10n::string("Helper removed."));
    recordDiagnostic(DiagnosticLevel::info, "helper.uninstalled", "");
}

void AppModel::uninstallFailed(const std::exception_ptr& error) {
    // A removal that failed part-way shows what is left of the helper.
    helperInstalled_.set(dependencies_.installer->isInstalled());
    const std::string text = errorText(error);
    statusMessage_.set(text);
    guardMode_.set(core::GuardMode::fault(text));
    recordDiagnostic(DiagnosticLevel::error, "helper.uninstall_failed", text);
}

// ---- Saving the settings ----

void AppModel::saveSettings(core::GuardSettings settings) {
    if (operationInProgress_.get()) {
        return;
    }
    startUserOperation(saving(std::move(settings)));
}

bool AppModel::fanControlSettingsDiffer(const core::GuardSettings& other) const {
    core::GuardSettings current = settings_.get();
    core::GuardSettings proposed = other;
    for (core::GuardSettings* settings : {&current, &proposed}) {
        settings->appLanguage = core::AppLanguage::system;
        settings->launchAtLogin = false;
    }
    return current != proposed;
}

Task<void> AppModel::saving(core::GuardSettings settings) {
    std::optional<core::GuardSettings> checked;
    std::exception_ptr failure;
    try {
        checked = settings.validated();
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        const std::string text = errorText(failure);
        statusMessage_.set(L10n::format("Settings could not be saved: %@", text));
        recordDiagnostic(DiagnosticLevel::warning, "settings.validation_failed", text);
        co_return;
    }
    const core::GuardSettings validated = std::move(*checked);
    const bool changed = fanControlSettingsDiffer(validated);
    const bool wasEnabled = controlEnabled_.get();
    // Nothing is changed under fans the model holds: they go back to Apple Automatic first.
    const bool cycleControl = wasEnabled && changed;
    if (cycleControl) {
        co_await disableControl(L10n::string("Applying the new settings safely…"));
        if (mayHoldManualTarget()) {
            statusMessage_.set(L10n::string(
                "The settings were not applied because Automatic mode could not be verified."));
            co_return;
        }
    }

    // Each step that throws leaves the ones before it done and the rest undone; the stored
    // settings change only with the defaults write, and the model's only after it.
    try {
        updateLaunchAtLogin(validated.launchAtLogin);
        const std::string data = core::encodeGuardSettings(validated);
        dependencies_.userDefaults->setData(settingsDefaultsKey, data);
        L10n::setLanguage(validated.appLanguage);
        settings_.set(validated);
        // With control on and only the language or launch at login changed, the running
        // policy keeps its level, counters and hold time.
        if (changed || !controlEnabled_.get()) {
            policy_ = core::FanPolicy(validated.levels());
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        if (cycleControl) {
            // Back on, under the settings that stayed.
            co_await enableControl();
        }
        const std::string description = localizedDescription(failure);
        statusMessage_.set(
            L10n::format("Settings could not be saved: %@", L10n::string(description)));
        recordDiagnostic(DiagnosticLevel::error, "settings.save_failed", description);
        co_return;
    }

    if (cycleControl) {
        co_await enableControl();
        if (controlEnabled_.get()) {
            showTransientStatus(L10n::string("Settings saved; Ventrella is active again."));
        }
    } else {
        showTransientStatus(L10n::string("Settings saved."));
    }
    recordDiagnostic(DiagnosticLevel::info, "settings.saved", "",
                     {{"settings", diagnostics::DiagnosticSummary::settings(validated)}});
}

void AppModel::showTransientStatus(const std::string& text) {
    if (transientStatusTask_) {
        transientStatusTask_.cancel();
    }
    statusMessage_.set(text);
    transientStatusTask_ = tasks_.spawn(clearTransientStatus(text));
}

Task<void> AppModel::clearTransientStatus(std::string text) {
    const bool slept =
        co_await platform::dispatch::sleepFor(dependencies_.transientStatusDurationSeconds);
    if (!slept) {
        co_return;
    }
    const std::stop_token stop = co_await platform::dispatch::currentStopToken();
    if (stop.stop_requested()) {
        co_return;
    }
    // A message set by anything else meanwhile stays.
    if (statusMessage_.get() == text) {
        statusMessage_.set("");
    }
}

// ---- The diagnostic report ----

void AppModel::exportDiagnostics() {
    recordDiagnostic(DiagnosticLevel::info, "diagnostics.export_requested", "");

    diagnostics::DiagnosticReportContext context;
    context.appVersion = version_.displayText();
    context.macOSVersion = dependencies_.operatingSystemVersion();
    context.hardware = hardwareSummary();
    context.guardMode = guardMode_.get().title();
    context.controlEnabled = controlEnabled_.get();
    context.helperReady = helperReady_.get();
    context.temperatureCelsius = currentTemperature_.get();
    context.settings = settings_.get();
    context.fans = fans_.get();
    if (const auto& snapshot = latestSensorSnapshot_.get()) {
        context.sensors =
            diagnostics::DiagnosticSummary::sensorGroup("cpu", snapshot->cpuTemperatures) + " | " +
            diagnostics::DiagnosticSummary::sensorGroup("gpu", snapshot->gpuTemperatures);
    } else {
        context.sensors = "unavailable";
    }

    std::optional<VoidTask> writing;
    try {
        writing = dependencies_.diagnosticReportCoordinator->exportReport(context);
    } catch (...) {
        exportFailed(std::current_exception());
        return;
    }
    // Cancelled: nothing more. Otherwise the report is written while the model goes on.
    if (writing) {
        tasks_.spawn(finishExport(std::move(*writing)));
    }
}

Task<void> AppModel::finishExport(VoidTask writing) {
    std::exception_ptr failure;
    try {
        co_await std::move(writing);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        exportFailed(failure);
        co_return;
    }
    statusMessage_.set(L10n::string("Diagnostic report saved."));
}

void AppModel::exportFailed(const std::exception_ptr& error) {
    const std::string text = errorText(error);
    statusMessage_.set(L10n::format("Diagnostic report could not be saved: %@", text));
    recordDiagnostic(DiagnosticLevel::error, "diagnostics.export_failed", text);
}

// ---- Quitting and termination ----

void AppModel::quit() {
    tasks_.spawn(quitting());
}

Task<void> AppModel::quitting() {
    co_await disableControl(L10n::string("Quitting…"));
    dependencies_.terminate();
}

void AppModel::applicationWillTerminate() {
    recordDiagnostic(DiagnosticLevel::info, "app.terminating", "");
    if (monitorTask_) {
        monitorTask_.cancel();
    }
    if (transientStatusTask_) {
        transientStatusTask_.cancel();
    }
    // A cooling request still under way may yet put a target on the fans.
    if (mayHoldManualTarget() || coolingRequestsOutstanding_ > 0) {
        dependencies_.helper->restoreAutomaticSynchronously(terminationRestoreSeconds);
    }
    dependencies_.drainDiagnostics(terminationDrainSeconds);
}

}  // namespace ventrella::model
