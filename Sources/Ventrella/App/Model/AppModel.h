#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Dispatch/Coroutines.h"
#include "Platform/Workspace/SleepAcknowledgement.h"
#include "Platform/Workspace/WorkspaceNotificationCenter.h"
#include "Ventrella/App/Model/AppModelDependencies.h"
#include "Ventrella/App/Model/Published.h"
#include "Ventrella/App/Model/PublishedField.h"
#include "Ventrella/App/Model/WillChangeNotifier.h"
#include "Ventrella/Core/FanPolicy.h"
#include "Ventrella/Core/GuardMode.h"
#include "Ventrella/Core/GuardSettings.h"
#include "Ventrella/Core/PolicyDecision.h"
#include "Ventrella/Core/SensorSnapshot.h"
#include "Ventrella/Core/TemperatureAggregation.h"
#include "Ventrella/Core/TemperatureReading.h"
#include "Ventrella/Core/TemperatureSource.h"
#include "Ventrella/Diagnostics/AppVersion.h"
#include "Ventrella/Diagnostics/DiagnosticEventSink.h"
#include "Ventrella/Diagnostics/DiagnosticLevel.h"
#include "VentrellaShared/FanControlResult.h"
#include "VentrellaShared/FanInfo.h"
#include "VentrellaShared/HardwareCapabilities.h"

namespace ventrella::model {

class AppModelTestPeer;

// The application's one model: every view reads the application's state from its published
// fields and changes it only through its operations. The program builds exactly one, in its
// composition root (see ProductionAppModel.h), and keeps it for the life of the process; there
// is no global instance.
//
// Everything runs on the main executor given to the constructor: the public members are called
// on its thread, and the model's tasks run there, so the model needs no lock. Blocking work
// (sensor reads, the installer) runs on workers and comes back to the main thread; awaited
// helper requests let other main-thread work run meanwhile, so an operation reads the fields
// again after every await.
//
// Control of the fans:
// - `ownsManualControl` is true only after the helper confirmed a manual target that the model
//   verified; `activeTargetPercentage` is present exactly while it is.
// - `controlEpoch` only grows. Enabling control (once it has succeeded), disabling it (first of
//   all) and accepting that another application took the fans advance it. A helper reply
//   changes ownership only when the epoch it was asked under is still current; a stale reply
//   that may leave a manual target behind is answered with a restore of Apple Automatic.
// - A request that may have left a manual target the model does not own (an apply that failed
//   or was not verified, a stale reply whose restore failed) marks the manual state uncertain;
//   disabling then restores Apple Automatic although the model does not own the fans, and the
//   mark goes with the first successful restore.
//
// Destroying the model stops its tasks and removes its workspace observers. The executor and
// every dependency outlive it.
class AppModel {
  public:
    // Resolves the settings (the initial ones when valid, else the stored ones when they decode
    // and are valid, else defaults, silently), applies their language, records
    // "app.model_initialized" and brings launch at login in line (errors ignored). Throws
    // std::invalid_argument when a dependency is missing.
    AppModel(platform::dispatch::MainExecutor& executor, AppModelDependencies dependencies);
    ~AppModel();

    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    // ---- Published fields (each announced before every write, see subscribeWillChange) ----

    // The user has switched temperature-based fan control on.
    bool controlEnabled() const { return controlEnabled_.get(); }
    // A control request, takeover, installation, removal or save is running.
    bool operationInProgress() const { return operationInProgress_.get(); }
    // The reading chosen by the settings' source and aggregation, Celsius.
    const std::optional<double>& currentTemperature() const { return currentTemperature_.get(); }
    // The label of that reading; "—" until there is one.
    const std::string& hottestSensor() const { return hottestSensor_.get(); }
    // Per-fan state from the last preflight, snapshot or helper result.
    const std::vector<shared::FanInfo>& fans() const { return fans_.get(); }
    const std::optional<shared::HardwareCapabilities>& hardwareCapabilities() const {
        return hardwareCapabilities_.get();
    }
    const core::GuardMode& guardMode() const { return guardMode_.get(); }
    const std::string& statusMessage() const { return statusMessage_.get(); }
    // The helper answered a status request with the current protocol.
    bool helperReady() const { return helperReady_.get(); }
    bool helperInstalled() const { return helperInstalled_.get(); }
    // The helper's registration waits for the user's approval.
    bool helperApprovalPending() const { return helperApprovalPending_.get(); }
    // The dashboard's approval prompt is shown; the dashboard also writes it.
    bool helperApprovalPromptPresented() const { return helperApprovalPromptPresented_.get(); }
    void setHelperApprovalPromptPresented(bool presented);
    const std::optional<core::SensorSnapshot>& latestSensorSnapshot() const {
        return latestSensorSnapshot_.get();
    }
    // The current, validated guard settings.
    const core::GuardSettings& settings() const { return settings_.get(); }

    // The observer is called before each write of a published field, with that field.
    WillChangeSubscription subscribeWillChange(WillChangeNotifier::Observer observer);
    void unsubscribeWillChange(WillChangeSubscription subscription);

    // ---- Operations ----

    // Once, when the application has finished launching (later calls do nothing): records
    // "monitor.started", registers the sleep and wake observers, then starts the monitoring
    // task: the hardware preflight, the helper status (3 attempts, 0.5 s apart), then the loop.
    void startMonitoring();

    // The fan-control switch. Ignored while an operation is in progress; switching on while
    // control is already on, or while a restore of Apple Automatic is still out, does nothing;
    // otherwise runs enable or disable in a task.
    void requestControl(bool enabled);
    // Takes control over from another application that left the fans in manual mode; only when
    // canTakeOverControl().
    void requestTakeover();
    // Installs or updates the helper (restoring Apple Automatic first when needed). Ignored
    // while an operation is in progress.
    void installHelper();
    // The approval prompt's "Open System Settings": closes the prompt and opens the Login Items
    // pane; does nothing while the prompt is not shown.
    void openHelperApprovalSettings();
    // Removes the helper, once Apple Automatic is verified through it (control is switched off
    // first when needed). Ignored while an operation is in progress; a helper that is not ready
    // is not removed, and the status line says to update it first.
    void uninstallHelper();
    // Validates and stores the settings, then applies them: a change beyond the language and
    // launch at login while control is on switches control off (restoring Apple Automatic),
    // stores, and switches it on again under the new settings. Ignored while an operation is in
    // progress. The outcome shows in the status line ("Settings saved." for 3 s).
    void saveSettings(core::GuardSettings settings);
    // Saves the diagnostic report where the user chooses: the save panel runs inside the call,
    // the report is written afterwards off the main thread, and the outcome shows in the
    // status line.
    void exportDiagnostics();
    // Switches control off, restoring Apple Automatic when the model may hold the fans, then
    // ends the application through the terminate function. Runs even while an operation is in
    // progress.
    void quit();
    // The application is ending (the delegate's last call): records "app.terminating", stops
    // the monitoring and the transient status, restores Apple Automatic synchronously when a
    // manual target of the model's may be on the fans (at most 4 s), then gives the diagnostic
    // log at most 1 s to write what is queued. Blocks the main thread meanwhile.
    void applicationWillTerminate();

    // ---- Derived values, computed on every read ----

    // The temperature as "80°" under the interface locale, or "Fan" without a reading.
    std::string menuTitle() const;
    // The status item's symbol name for the guard mode.
    std::string menuSymbol() const;
    // Some fan is not in automatic mode, and no target of the model's may be on the fans.
    bool externalManualDetected() const;
    // The dashboard may offer to take control over.
    bool canTakeOverControl() const;
    // "CPU average", "Hottest GPU", ... in the interface language.
    std::string temperatureMetricTitle() const;
    // The hardware in one line ("Apple M3 · Mac15,3 · Fans: 1 · … · Native SMC").
    std::string hardwareSummary() const;
    // The application's version, read once from the main bundle's information dictionary.
    const diagnostics::AppVersion& appVersion() const { return version_; }
    // The last snapshot's reading for another source and aggregation (the settings preview).
    std::optional<core::TemperatureReading> temperatureReading(
        core::TemperatureSource source, core::TemperatureAggregation aggregation) const;

    // Where the settings are stored in the user defaults, as JSON.
    static constexpr std::string_view settingsDefaultsKey = "guardSettings";

  private:
    friend class AppModelTestPeer;
    using VoidTask = platform::dispatch::Task<void>;

    // ---- Start-up and status ----
    VoidTask startUpAndMonitor();
    // One guard cycle per sampling interval until its task is cancelled.
    VoidTask monitorLoop();
    VoidTask refreshHardwareStatus();
    platform::dispatch::Task<bool> refreshHelperStatus(int attempts, double retryDelaySeconds,
                                                       bool showFailureStatus);
    // Throws the login item's error.
    void updateLaunchAtLogin(bool enabled);
    void registerWorkspaceObservers();
    void removeWorkspaceObservers();
    // The will-sleep work: the acknowledgement is held until it has finished.
    VoidTask runWillSleep(platform::workspace::SleepAcknowledgement acknowledgement);
    // The sleep and wake notifications, on the main thread.
    VoidTask handleWillSleep();
    VoidTask handleDidWake();

    // ---- The guard cycle ----
    // A cycle started more than 30 s after the previous one: the machine slept (or the cycle
    // stalled), so a manual target is given back and the policy starts over.
    VoidTask handleWakeGap();
    // One sample: published, then turned into fan control. Never throws.
    VoidTask handle(core::SensorSnapshot snapshot, double now);
    // The policy step (or the thermal override) and the renewal, with control on.
    VoidTask guardCycle(double temperature, double now);
    VoidTask handleSensorFailure(std::exception_ptr error);

    // Records one event with the model's context as it is now ("mode", "control_enabled",
    // "temperature_c", "fans"), which replaces keys of the same name in `metadata`.
    void recordDiagnostic(diagnostics::DiagnosticLevel level, const std::string& event,
                          const std::string& message,
                          diagnostics::DiagnosticMetadata metadata = {});

    // ---- User operations ----
    // Sets operationInProgress and runs the operation in a task that clears it on every exit.
    void startUserOperation(VoidTask operation);
    VoidTask runUserOperation(VoidTask operation);
    VoidTask controlRequest(bool enabled);
    VoidTask enableControl();
    void enableFailed(const std::exception_ptr& error);
    VoidTask disableControl(std::string reason);
    VoidTask takeOverControl();
    VoidTask takeoverFailed(std::exception_ptr error);
    VoidTask installation();
    VoidTask uninstallation();
    void uninstallFailed(const std::exception_ptr& error);
    VoidTask saving(core::GuardSettings settings);
    // Whether `other` differs from the settings in anything but the language and launch at
    // login.
    bool fanControlSettingsDiffer(const core::GuardSettings& other) const;
    // The report's writing, after the save panel: its outcome in the status line.
    VoidTask finishExport(VoidTask writing);
    void exportFailed(const std::exception_ptr& error);
    VoidTask quitting();
    // Shows `text`, and clears it after the transient status duration unless something else
    // replaced it; a newer transient text cancels the older one's clearing.
    void showTransientStatus(const std::string& text);
    VoidTask clearTransientStatus(std::string text);

    // ---- Applying, renewing and releasing fan control ----
    VoidTask apply(core::PolicyDecision decision, std::int64_t epoch);
    VoidTask applyLevel(core::PolicyDecision decision, std::int64_t epoch);
    VoidTask restoreAfterUncertainApply();
    // Answers a reply that came in under another epoch, or after control went off: restores
    // Apple Automatic, throwing the restore's error on.
    VoidTask restoreAfterStaleReply();
    VoidTask failClosed(std::exception_ptr error);
    VoidTask verifyAndRenew(std::int64_t epoch);
    void acceptRelinquished(const shared::FanControlResult& result, const std::string& reason);
    // An applyCooling request, counted while it is outstanding; an error of the request marks
    // the manual state uncertain before it is thrown on.
    platform::dispatch::Task<shared::FanControlResult> requestCooling(std::int64_t percentage);

    // ---- Small helpers ----
    void resetPolicy();
    void clearOwnership();
    // The model owns the fans, or a request may have left a manual target behind.
    bool mayHoldManualTarget() const { return ownsManualControl_ || manualStateUncertain_; }
    static bool anyFanNotAutomatic(const std::vector<shared::FanInfo>& fans);
    // externalManual when some fan is not automatic, else automatic.
    static core::GuardMode modeFromFans(const std::vector<shared::FanInfo>& fans);

    // ---- Dependencies ----
    platform::dispatch::MainExecutor& executor_;
    AppModelDependencies dependencies_;

    // Read once, at construction: the views ask for it at every change of the model.
    diagnostics::AppVersion version_;

    // ---- Published state ----
    WillChangeNotifier willChange_;
    Published<bool> controlEnabled_{PublishedField::controlEnabled, willChange_, false};
    Published<bool> operationInProgress_{PublishedField::operationInProgress, willChange_, false};
    Published<std::optional<double>> currentTemperature_{PublishedField::currentTemperature,
                                                         willChange_, std::nullopt};
    Published<std::string> hottestSensor_{PublishedField::hottestSensor, willChange_, "—"};
    Published<std::vector<shared::FanInfo>> fans_{PublishedField::fans, willChange_, {}};
    Published<std::optional<shared::HardwareCapabilities>> hardwareCapabilities_{
        PublishedField::hardwareCapabilities, willChange_, std::nullopt};
    Published<core::GuardMode> guardMode_{PublishedField::guardMode, willChange_,
                                          core::GuardMode::automatic()};
    Published<std::string> statusMessage_{PublishedField::statusMessage, willChange_, {}};
    Published<bool> helperReady_{PublishedField::helperReady, willChange_, false};
    Published<bool> helperInstalled_{PublishedField::helperInstalled, willChange_, false};
    Published<bool> helperApprovalPending_{PublishedField::helperApprovalPending, willChange_,
                                           false};
    Published<bool> helperApprovalPromptPresented_{PublishedField::helperApprovalPromptPresented,
                                                   willChange_, false};
    Published<std::optional<core::SensorSnapshot>> latestSensorSnapshot_{
        PublishedField::latestSensorSnapshot, willChange_, std::nullopt};
    Published<core::GuardSettings> settings_{PublishedField::settings, willChange_, {}};

    // ---- Private state ----
    // The Boost/Emergency state machine, built from the settings' levels.
    core::FanPolicy policy_{std::vector<core::FanLevel>{}};
    // Present once monitoring has started.
    platform::dispatch::TaskHandle monitorTask_;
    // The pending reset of a transient status message.
    platform::dispatch::TaskHandle transientStatusTask_;
    bool ownsManualControl_ = false;
    // The cooling percentage last applied and verified; present exactly while owning.
    std::optional<std::int64_t> activeTargetPercentage_;
    std::int64_t controlEpoch_ = 0;
    // Consecutive failed sensor reads.
    std::int64_t sensorFailures_ = 0;
    // Uptime of the previous poll and of the last verified apply or renewal, seconds.
    std::optional<double> lastPollUptime_;
    double lastVerificationUptime_ = 0;
    // Uptime of the last helper status refresh, seconds.
    double lastHelperRetryUptime_ = 0;
    // Will-sleep, then did-wake.
    std::vector<platform::workspace::WorkspaceObserverToken> workspaceObservers_;
    // A request may have left a manual target the model does not own.
    bool manualStateUncertain_ = false;
    // applyCooling requests sent and not yet answered.
    int coolingRequestsOutstanding_ = 0;
    // Restores of a disable sent and not yet answered.
    int restoresOutstanding_ = 0;
    // Lets work posted from the workspace's thread find out whether the model still exists.
    std::shared_ptr<int> lifetime_ = std::make_shared<int>(0);
    // Last: destroyed first, so no task outlives the fields it uses.
    platform::dispatch::TaskScope tasks_;
};

}  // namespace ventrella::model
