#include "Ventrella/App/Model/AppModel.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "Platform/Foundation/StringFormatter.h"
#include "Ventrella/App/Model/ErrorText.h"
#include "Ventrella/Core/GuardSettingsJSON.h"
#include "Ventrella/Core/L10n.h"
#include "Ventrella/Diagnostics/AppVersion.h"
#include "Ventrella/Diagnostics/DiagnosticNumberText.h"
#include "Ventrella/Diagnostics/DiagnosticSummary.h"

namespace ventrella::model {

namespace {

using core::L10n;
using diagnostics::DiagnosticLevel;
using platform::dispatch::Task;

void require(bool present, const char* name) {
    if (!present) {
        throw std::invalid_argument(std::string("The application model needs ") + name + ".");
    }
}

void requireAll(const AppModelDependencies& dependencies) {
    require(dependencies.reader != nullptr, "a hardware reader");
    require(dependencies.helper != nullptr, "a helper link");
    require(dependencies.diagnostics != nullptr, "a diagnostics sink");
    require(dependencies.diagnosticReportCoordinator != nullptr, "a report coordinator");
    require(dependencies.thermalStateProvider != nullptr, "a thermal state provider");
    require(dependencies.approvalSettingsOpener != nullptr, "an approval settings opener");
    require(dependencies.uptimeClock != nullptr, "an uptime clock");
    require(dependencies.userDefaults != nullptr, "user defaults");
    require(dependencies.loginItem != nullptr, "a login item");
    require(dependencies.installer != nullptr, "a helper installer");
    require(static_cast<bool>(dependencies.mainBundle), "the main bundle");
    require(dependencies.workspaceNotifications != nullptr, "a workspace notification center");
    require(static_cast<bool>(dependencies.terminate), "a terminate function");
    require(static_cast<bool>(dependencies.drainDiagnostics), "a diagnostics drain");
    require(static_cast<bool>(dependencies.operatingSystemVersion),
            "the operating system's version");
}

// The first valid settings of: the initial ones, the stored ones, the defaults. A source that
// is missing, does not decode or is not valid is passed over without a word.
core::GuardSettings resolveSettings(const std::optional<core::GuardSettings>& initial,
                                    const platform::foundation::UserDefaults& defaults) {
    if (initial) {
        try {
            return initial->validated();
        } catch (const std::exception&) {
        }
    }
    if (const auto stored = defaults.data(AppModel::settingsDefaultsKey)) {
        try {
            return core::decodeGuardSettings(*stored).validated();
        } catch (const std::exception&) {
        }
    }
    return core::GuardSettings{};
}

}  // namespace

AppModel::AppModel(platform::dispatch::MainExecutor& executor, AppModelDependencies dependencies)
    : executor_(executor), dependencies_(std::move(dependencies)), tasks_(executor) {
    requireAll(dependencies_);
    auto& installer = *dependencies_.installer;
    version_ = diagnostics::AppVersion(dependencies_.mainBundle().infoDictionary());

    statusMessage_.set(L10n::string("Starting…"));
    helperInstalled_.set(installer.isInstalled());
    if (dependencies_.helperApprovalPending) {
        helperApprovalPending_.set(*dependencies_.helperApprovalPending);
    } else {
        helperApprovalPending_.set(
            installer.usesModernService() &&
            installer.serviceStatus() ==
                platform::servicemanagement::ServiceStatus::requiresApproval);
    }

    const core::GuardSettings resolved =
        resolveSettings(dependencies_.initialSettings, *dependencies_.userDefaults);
    L10n::setLanguage(resolved.appLanguage);
    settings_.set(resolved);
    policy_ = core::FanPolicy(resolved.levels());
    // Again, now in the settings' language.
    statusMessage_.set(L10n::string("Starting…"));

    dependencies_.diagnostics->record(
        DiagnosticLevel::info, "app.model_initialized", "",
        {{"version", version_.displayText()},
         {"settings", diagnostics::DiagnosticSummary::settings(resolved)}});

    try {
        updateLaunchAtLogin(resolved.launchAtLogin);
    } catch (const std::exception&) {
        // The setting stays; the next save tries again.
    }
}

AppModel::~AppModel() {
    removeWorkspaceObservers();
}

void AppModel::setHelperApprovalPromptPresented(bool presented) {
    helperApprovalPromptPresented_.set(presented);
}

WillChangeSubscription AppModel::subscribeWillChange(WillChangeNotifier::Observer observer) {
    return willChange_.subscribe(std::move(observer));
}

void AppModel::unsubscribeWillChange(WillChangeSubscription subscription) {
    willChange_.unsubscribe(subscription);
}

// ---- Derived values ----

std::string AppModel::menuTitle() const {
    const auto& temperature = currentTemperature_.get();
    if (!temperature) {
        return L10n::string("Fan");
    }
    return platform::foundation::StringFormatter(L10n::locale())
        .format("%.0f°", *temperature)
        .value_or("—");
}

std::string AppModel::menuSymbol() const {
    switch (guardMode_.get().kind()) {
        case core::GuardMode::Kind::automatic:
            return controlEnabled_.get() ? "shield.checkered" : "thermometer.medium";
        case core::GuardMode::Kind::boost:
            return "fanblades";
        case core::GuardMode::Kind::emergency:
            return "fanblades.fill";
        case core::GuardMode::Kind::externalManual:
            return "hand.raised.fill";
        case core::GuardMode::Kind::fault:
            return "exclamationmark.triangle.fill";
    }
    return "exclamationmark.triangle.fill";
}

bool AppModel::externalManualDetected() const {
    // Manual fans after a failed restore may be the model's own, not another application's.
    return !mayHoldManualTarget() && anyFanNotAutomatic(fans_.get());
}

bool AppModel::canTakeOverControl() const {
    const auto& capabilities = hardwareCapabilities_.get();
    return !controlEnabled_.get() && !operationInProgress_.get() && helperReady_.get() &&
           capabilities && capabilities->canControl && externalManualDetected();
}

std::string AppModel::temperatureMetricTitle() const {
    const auto& current = settings_.get();
    const std::string title = core::compactTitle(current.temperatureSource);
    if (current.temperatureAggregation == core::TemperatureAggregation::average) {
        return L10n::format("%@ average", title);
    }
    return L10n::format("Hottest %@", title);
}

std::string AppModel::hardwareSummary() const {
    const auto& capabilities = hardwareCapabilities_.get();
    if (!capabilities) {
        return L10n::string("Detecting native SMC…");
    }
    const std::string chip = capabilities->chipGeneration
                                 ? "Apple M" + std::to_string(*capabilities->chipGeneration)
                                 : capabilities->model;
    std::vector<std::string> parts{chip};
    if (capabilities->model != chip) {
        parts.push_back(capabilities->model);
    }
    parts.push_back(L10n::format("Fans: %d", capabilities->fanCount));
    if (capabilities->controlMechanism) {
        parts.push_back(*capabilities->controlMechanism);
    }
    parts.emplace_back("Native SMC");
    std::string summary;
    for (const auto& part : parts) {
        summary += summary.empty() ? part : " · " + part;
    }
    return summary;
}

std::optional<core::TemperatureReading> AppModel::temperatureReading(
    core::TemperatureSource source, core::TemperatureAggregation aggregation) const {
    const auto& snapshot = latestSensorSnapshot_.get();
    if (!snapshot) {
        return std::nullopt;
    }
    return snapshot->reading(source, aggregation);
}

void AppModel::openHelperApprovalSettings() {
    if (!helperApprovalPromptPresented_.get()) {
        return;
    }
    helperApprovalPromptPresented_.set(false);
    dependencies_.approvalSettingsOpener->openLoginItems();
}

// ---- Start-up ----

void AppModel::startMonitoring() {
    if (monitorTask_) {
        return;
    }
    dependencies_.diagnostics->record(DiagnosticLevel::info, "monitor.started", "", {});
    registerWorkspaceObservers();
    monitorTask_ = tasks_.spawn(startUpAndMonitor());
}

Task<void> AppModel::startUpAndMonitor() {
    co_await refreshHardwareStatus();
    (void)co_await refreshHelperStatus(3, 0.5, true);
    co_await monitorLoop();
}

Task<void> AppModel::refreshHardwareStatus() {
    std::optional<apphardware::HardwarePreflight> preflight;
    std::exception_ptr failure;
    auto read = [reader = dependencies_.reader] { return reader->preflight(); };
    try {
        preflight = co_await platform::dispatch::detached(std::move(read));
    } catch (...) {
        failure = std::current_exception();
    }
    if (preflight) {
        hardwareCapabilities_.set(preflight->capabilities);
        fans_.set(preflight->fans);
        recordDiagnostic(DiagnosticLevel::info, "hardware.preflight_succeeded", "",
                         {{"hardware", hardwareSummary()}});
        co_return;
    }
    const std::string description = localizedDescription(failure);
    shared::HardwareCapabilities unknown;
    unknown.model = L10n::string("unknown");
    unknown.fanCount = static_cast<std::int64_t>(fans_.get().size());
    unknown.canMonitor = false;
    unknown.canControl = false;
    unknown.reason = description;
    hardwareCapabilities_.set(std::move(unknown));
    recordDiagnostic(DiagnosticLevel::error, "hardware.preflight_failed", description);
}

Task<bool> AppModel::refreshHelperStatus(int attempts, double retryDelaySeconds,
                                         bool showFailureStatus) {
    helperInstalled_.set(dependencies_.installer->isInstalled());
    lastHelperRetryUptime_ = dependencies_.uptimeClock->uptimeSeconds();
    const int allowed = std::max(attempts, 1);
    for (int attempt = 1;; ++attempt) {
        std::exception_ptr failure;
        try {
            (void)co_await dependencies_.helper->status();
        } catch (...) {
            failure = std::current_exception();
        }
        if (!failure) {
            helperReady_.set(true);
            helperInstalled_.set(true);
            helperApprovalPending_.set(false);
            recordDiagnostic(DiagnosticLevel::info, "helper.status_succeeded", "",
                             {{"attempt", std::to_string(attempt)}});
            co_return true;
        }
        helperReady_.set(false);
        dependencies_.helper->resetConnection();
        if (attempt < allowed) {
            const bool slept = co_await platform::dispatch::sleepFor(retryDelaySeconds);
            if (!slept) {
                co_return false;
            }
            continue;
        }
        recordDiagnostic(DiagnosticLevel::warning, "helper.status_failed", errorText(failure));
        if (showFailureStatus) {
            if (helperApprovalPending_.get()) {
                statusMessage_.set(
                    L10n::string("Approve Ventrella Fan Helper in System Settings > General > "
                                 "Login Items & Extensions, then return and click Update."));
            } else if (helperInstalled_.get()) {
                statusMessage_.set(
                    L10n::string("The Helper is installed, but its connection could not be "
                                 "verified. Ventrella will retry automatically."));
            } else {
                statusMessage_.set(L10n::string(
                    "Install the Helper to enable fan control. Temperature monitoring is still "
                    "active."));
            }
        }
        co_return false;
    }
}

void AppModel::updateLaunchAtLogin(bool enabled) {
    if (dependencies_.mainBundle().bundlePath().extension() != ".app") {
        return;
    }
    auto& item = *dependencies_.loginItem;
    const bool registered = item.status() == platform::foundation::LoginItemStatus::enabled;
    if (enabled && !registered) {
        item.registerItem();
    } else if (!enabled && registered) {
        item.unregisterItem();
    }
}

// ---- Sleep and wake ----

void AppModel::registerWorkspaceObservers() {
    auto& center = *dependencies_.workspaceNotifications;
    std::weak_ptr<int> lifetime = lifetime_;
    platform::dispatch::MainExecutor* executor = &executor_;
    // The handlers run on the workspace's thread: they only post to the main thread, where the
    // model is looked for and, when it still exists, starts its task.
    workspaceObservers_.push_back(center.addWillSleepObserver(
        [executor, lifetime, model = this](platform::workspace::SleepAcknowledgement ack) {
            executor->post([lifetime, model, ack]() {
                if (lifetime.lock()) {
                    model->tasks_.spawn(model->runWillSleep(ack));
                }
            });
        }));
    workspaceObservers_.push_back(center.addDidWakeObserver([executor, lifetime, model = this] {
        executor->post([lifetime, model] {
            if (lifetime.lock()) {
                model->tasks_.spawn(model->handleDidWake());
            }
        });
    }));
}

void AppModel::removeWorkspaceObservers() {
    for (const auto& token : workspaceObservers_) {
        dependencies_.workspaceNotifications->removeObserver(token);
    }
    workspaceObservers_.clear();
}

Task<void> AppModel::runWillSleep(platform::workspace::SleepAcknowledgement acknowledgement) {
    co_await handleWillSleep();
    acknowledgement.acknowledge();
}

// ---- Diagnostics ----

void AppModel::recordDiagnostic(DiagnosticLevel level, const std::string& event,
                                const std::string& message,
                                diagnostics::DiagnosticMetadata metadata) {
    metadata["mode"] = guardMode_.get().title();
    metadata["control_enabled"] = controlEnabled_.get() ? "true" : "false";
    const auto& temperature = currentTemperature_.get();
    metadata["temperature_c"] =
        temperature ? diagnostics::oneDecimalText(*temperature) : "unavailable";
    metadata["fans"] = diagnostics::DiagnosticSummary::fans(fans_.get());
    dependencies_.diagnostics->record(level, event, message, metadata);
}

// ---- Helpers ----

void AppModel::resetPolicy() {
    policy_ = core::FanPolicy(policy_.levels());
}

void AppModel::clearOwnership() {
    ownsManualControl_ = false;
    activeTargetPercentage_.reset();
}

bool AppModel::anyFanNotAutomatic(const std::vector<shared::FanInfo>& fans) {
    return std::any_of(fans.begin(), fans.end(),
                       [](const shared::FanInfo& fan) { return !fan.isAutomatic(); });
}

core::GuardMode AppModel::modeFromFans(const std::vector<shared::FanInfo>& fans) {
    return anyFanNotAutomatic(fans) ? core::GuardMode::externalManual()
                                    : core::GuardMode::automatic();
}

}  // namespace ventrella::model
