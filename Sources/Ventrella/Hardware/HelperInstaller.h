#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/ProcessOutput.h"
#include "Platform/Security/Code.h"
#include "Platform/ServiceManagement/DaemonService.h"
#include "Ventrella/Hardware/HelperInstalling.h"

namespace ventrella::apphardware {

// Installs, updates, reports and removes the privileged helper, one of two ways chosen at each
// call: registration of the bundle's daemon with the service-management layer, when the
// bundle asks for it and the application is signed by a team; otherwise the bundle's
// installation scripts, run with administrator privileges through osascript.
class HelperInstaller final : public HelperInstalling {
  public:
    using ServiceFactory =
        std::function<std::shared_ptr<platform::servicemanagement::DaemonService>(
            const std::filesystem::path& bundle, std::string_view propertyListName)>;
    using ProcessRunner = std::function<platform::foundation::ProcessOutput(
        const std::filesystem::path& program, const std::vector<std::string>& arguments)>;
    // Waits the given seconds; throws to cancel the wait (and so the installation).
    using Wait = std::function<void(double seconds)>;

    // The production daemon service: the simulated Mac's launchd.
    static std::shared_ptr<platform::servicemanagement::DaemonService> launchdService(
        const std::filesystem::path& bundle, std::string_view propertyListName);
    // Sleeps for real.
    static void sleep(double seconds);

    // What the installer asks of the system; each can be replaced.
    struct Environment {
        std::function<platform::foundation::Bundle()> mainBundle =
            &platform::foundation::Bundle::main;
        platform::security::CodeSigningServices codeSigning =
            platform::security::systemCodeSigningServices();
        ServiceFactory makeService = launchdService;
        ProcessRunner runProcess = &platform::foundation::runJoiningOutput;
        Wait wait = sleep;
    };

    static constexpr std::string_view daemonPropertyListName =
        "com.quillmoor.Ventrella.helper.plist";
    static constexpr std::string_view legacyHelperPath =
        "/Library/PrivilegedHelperTools/com.quillmoor.Ventrella.helper";
    static constexpr std::string_view installScriptName = "install-helper";
    static constexpr std::string_view uninstallScriptName = "uninstall-helper";
    static constexpr std::string_view scriptExtension = "sh";
    static constexpr std::string_view modernServiceKey = "VentrellaUseSMAppService";
    static constexpr std::string_view osascriptPath = "/usr/bin/osascript";
    // Between unregistering an enabled daemon and registering it again.
    static constexpr double reregistrationDelaySeconds = 2.0;

    HelperInstaller();
    explicit HelperInstaller(Environment environment);

    // The Info.plist holds VentrellaUseSMAppService as the Boolean true and the running
    // application's signature names a non-empty team.
    bool usesModernService() override;
    bool isInstalled() override;
    platform::servicemanagement::ServiceStatus serviceStatus() override;
    InstallationOutcome install() override;
    std::string uninstall() override;

    // The daemon service of the main bundle's property list, made on first use.
    platform::servicemanagement::DaemonService& service();

  private:
    static bool registrationFailureRequiresApproval(
        const platform::servicemanagement::ServiceError& error, int remainingDepth);

    InstallationOutcome installAsService();
    InstallationOutcome registerService();
    std::string uninstallService();
    std::filesystem::path legacyHelper() const;
    // Runs a bundle script as root through osascript; its trimmed output.
    std::string run(std::string_view scriptName, const std::string& fallbackError);

    Environment environment_;
    std::once_flag serviceMade_;
    std::shared_ptr<platform::servicemanagement::DaemonService> service_;
};

}  // namespace ventrella::apphardware
