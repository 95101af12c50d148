#include "Ventrella/App/Model/ProductionAppModel.h"

#include <filesystem>
#include <string>
#include <utility>

#include "Platform/Foundation/BootTimeClock.h"
#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/OperatingSystemVersion.h"
#include "Platform/Foundation/PropertyListUserDefaults.h"
#include "Platform/Foundation/XDGAutostartLoginItem.h"
#include "Platform/Workspace/VirtualMacWorkspace.h"
#include "Ventrella/Diagnostics/DiagnosticLog.h"
#include "Ventrella/Diagnostics/DiagnosticReportCoordinator.h"
#include "Ventrella/Hardware/HelperClient.h"
#include "Ventrella/Hardware/HelperInstaller.h"
#include "Ventrella/Hardware/SMCReadClient.h"

namespace ventrella::model {

AppModelDependencies productionAppModelDependencies(
    std::shared_ptr<diagnostics::SavePanel> savePanel, std::function<void()> terminate) {
    // The process's log is never destroyed; the pointers only share it.
    std::shared_ptr<diagnostics::DiagnosticLog> log(std::shared_ptr<void>(),
                                                    &diagnostics::DiagnosticLog::shared());
    auto workspace = std::make_shared<platform::workspace::VirtualMacWorkspace>();
    const std::string identifier(applicationIdentifier);

    AppModelDependencies dependencies;
    dependencies.reader = std::make_shared<apphardware::SMCReadClient>();
    dependencies.helper = std::make_shared<apphardware::HelperClient>();
    dependencies.diagnostics = log;
    dependencies.diagnosticReportCoordinator =
        std::make_shared<diagnostics::DiagnosticReportCoordinator>(log, std::move(savePanel));
    dependencies.thermalStateProvider = workspace;
    dependencies.approvalSettingsOpener = workspace;
    dependencies.workspaceNotifications = workspace;
    dependencies.transientStatusDurationSeconds = 3.0;
    dependencies.uptimeClock = std::make_shared<platform::foundation::BootTimeClock>();
    using Defaults = platform::foundation::PropertyListUserDefaults;
    dependencies.userDefaults = std::make_shared<Defaults>(
        Defaults::preferencesFile(identifier), [log](const Defaults::SetAside& setAside) {
            log->record(diagnostics::DiagnosticLevel::warning, "settings.preferences_set_aside",
                        "The preferences file could not be read: " + setAside.reason + ".",
                        {{"kept_as", setAside.keptAs.filename().string()}});
        });
    dependencies.loginItem = std::make_shared<platform::foundation::XDGAutostartLoginItem>(
        identifier, "Ventrella", std::filesystem::read_symlink("/proc/self/exe"));
    dependencies.installer = std::make_shared<apphardware::HelperInstaller>();
    dependencies.mainBundle = &platform::foundation::Bundle::main;
    dependencies.terminate = std::move(terminate);
    dependencies.drainDiagnostics = [log](double seconds) { (void)log->drain(seconds); };
    dependencies.operatingSystemVersion = &platform::foundation::operatingSystemVersionString;
    return dependencies;
}

}  // namespace ventrella::model
