#include "InstallerCommand.h"

#include <exception>
#include <iostream>

#include "Ventrella/Hardware/HelperInstaller.h"

namespace ventrella::tools {

bool isInstallerCommand(std::string_view command) {
    return command == "install" || command == "uninstall" || command == "installed";
}

int runInstallerCommand(std::string_view command) {
    apphardware::HelperInstaller installer;
    try {
        if (command == "install") {
            const auto outcome = installer.install();
            std::cout << (outcome == apphardware::InstallationOutcome::installed
                              ? "installed\n"
                              : "requires approval\n");
        } else if (command == "uninstall") {
            std::cout << installer.uninstall() << "\n";
        } else {
            std::cout << (installer.isInstalled() ? "installed\n" : "not installed\n");
        }
    } catch (const std::exception& error) {
        std::cout << "error: " << error.what() << "\n";
        return 1;
    }
    return 0;
}

}  // namespace ventrella::tools
