#pragma once

#include <functional>
#include <memory>
#include <string_view>

#include "Ventrella/App/Model/AppModelDependencies.h"
#include "Ventrella/Diagnostics/SavePanel.h"

namespace ventrella::model {

// How the program fills the model's slots with the real things; it then builds its one model
// with AppModel(executor, productionAppModelDependencies(...)) on its main executor and keeps
// it until the process ends:
//
//   reader                       SMCReadClient (the machine's SMC, sysctl identity, HID sensors)
//   helper                       HelperClient (the helper's Mach service, 18 s per reply)
//   initialSettings              none: the stored settings, or defaults
//   diagnostics                  DiagnosticLog::shared()
//   diagnosticReportCoordinator  DiagnosticReportCoordinator over DiagnosticLog::shared() and the
//                                interface's save panel
//   thermalStateProvider,        one VirtualMacWorkspace (the simulated Mac's workspace socket)
//   approvalSettingsOpener,
//   workspaceNotifications
//   helperApprovalPending        none: asked of the installer
//   transientStatusDuration      3 s
//   uptimeClock                  BootTimeClock (CLOCK_BOOTTIME: counts through sleep)
//   userDefaults                 PropertyListUserDefaults of "~/Library/Preferences/
//                                com.quillmoor.Ventrella.plist"; an unreadable file it moves
//                                aside is recorded as "settings.preferences_set_aside"
//   loginItem                    XDGAutostartLoginItem "com.quillmoor.Ventrella" starting this
//                                executable
//   installer                    HelperInstaller
//   mainBundle                   Bundle::main()
//   terminate                    the program's own (it ends its event loop)
//   drainDiagnostics             DiagnosticLog::shared().drain
//   operatingSystemVersion       operatingSystemVersionString()
//
// Throws when the user's home is unknown (preferences and autostart live there).
AppModelDependencies productionAppModelDependencies(
    std::shared_ptr<diagnostics::SavePanel> savePanel, std::function<void()> terminate);

// The application's identifier: its preferences domain and its login item's name.
inline constexpr std::string_view applicationIdentifier = "com.quillmoor.Ventrella";

}  // namespace ventrella::model
