#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/LoginItem.h"
#include "Platform/Foundation/UptimeClock.h"
#include "Platform/Foundation/UserDefaults.h"
#include "Platform/Workspace/SystemSettingsOpener.h"
#include "Platform/Workspace/ThermalStateProvider.h"
#include "Platform/Workspace/WorkspaceNotificationCenter.h"
#include "Ventrella/Core/GuardSettings.h"
#include "Ventrella/Diagnostics/DiagnosticEventSink.h"
#include "Ventrella/Diagnostics/DiagnosticReportCoordinating.h"
#include "Ventrella/Hardware/FanControlHelping.h"
#include "Ventrella/Hardware/FanHardwareReading.h"
#include "Ventrella/Hardware/HelperInstalling.h"

namespace ventrella::model {

// Everything the model works with, handed in by whoever builds it (the program's composition
// root, see ProductionAppModel.h, or a test with its fakes). The model keeps each for its whole
// life and never replaces it. Every pointer and function must be set; the model's constructor
// throws std::invalid_argument naming the first one that is not.
struct AppModelDependencies {
    // Preflight and snapshot reads; called on worker threads.
    std::shared_ptr<apphardware::FanHardwareReading> reader;
    // The link to the privileged helper.
    std::shared_ptr<apphardware::FanControlHelping> helper;
    // Settings to start with when they pass validation; else the stored ones, else defaults.
    std::optional<core::GuardSettings> initialSettings;
    // Where the model's diagnostic events go.
    std::shared_ptr<diagnostics::DiagnosticEventSink> diagnostics;
    // Saves the diagnostic report where the user chooses.
    std::shared_ptr<diagnostics::DiagnosticReportCoordinating> diagnosticReportCoordinator;
    // The process's thermal state, read by the guard cycle.
    std::shared_ptr<platform::workspace::ThermalStateProvider> thermalStateProvider;
    // Whether the helper's registration waits for the user's approval; absent: asked of the
    // installer.
    std::optional<bool> helperApprovalPending;
    // How long a transient status message stays, in seconds.
    double transientStatusDurationSeconds = 3.0;
    // Opens the Login Items pane, where the user approves the helper.
    std::shared_ptr<platform::workspace::SystemSettingsOpener> approvalSettingsOpener;
    // System uptime in seconds, counting through sleep.
    std::shared_ptr<platform::foundation::UptimeClock> uptimeClock;
    // The application's preferences, where the settings are stored under "guardSettings".
    std::shared_ptr<platform::foundation::UserDefaults> userDefaults;
    // The application's own login item (launch at login).
    std::shared_ptr<platform::foundation::LoginItem> loginItem;
    // Installs, reports and removes the helper; install and uninstall run on worker threads.
    std::shared_ptr<apphardware::HelperInstalling> installer;
    // The application's bundle: its Info.plist gives the version, and launch at login is
    // managed only when it is an ".app" bundle.
    std::function<platform::foundation::Bundle()> mainBundle;
    // The sleep and wake notifications.
    std::shared_ptr<platform::workspace::WorkspaceNotificationCenter> workspaceNotifications;
    // Ends the application (quitting, once Apple Automatic was restored).
    std::function<void()> terminate;
    // Waits at most the given seconds for the diagnostic events recorded so far to be written;
    // the model's last step at termination.
    std::function<void(double seconds)> drainDiagnostics;
    // The operating system's version text, for the diagnostic report.
    std::function<std::string()> operatingSystemVersion;
};

}  // namespace ventrella::model
