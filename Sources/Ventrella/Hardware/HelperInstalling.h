#pragma once

#include <string>

#include "Platform/ServiceManagement/ServiceStatus.h"
#include "Ventrella/Hardware/InstallationOutcome.h"

namespace ventrella::apphardware {

// Installs, reports and removes the privileged helper. `install` and `uninstall` block until
// the work is done (a script ran, or the registration settled), so callers run them off the
// main thread.
class HelperInstalling {
  public:
    virtual ~HelperInstalling() = default;

    // Whether the helper is registered as a system daemon from the application's bundle rather
    // than installed by the bundle's scripts. Read afresh on every call.
    virtual bool usesModernService() = 0;
    // Registered (enabled or waiting for approval), or present at its legacy path.
    virtual bool isInstalled() = 0;
    // The registration state of the bundle's daemon service.
    virtual platform::servicemanagement::ServiceStatus serviceStatus() = 0;
    // Throws core::VentrellaError with the text to show; errors of the daemon service
    // (ServiceError), of starting osascript (std::system_error) and of a cancelled wait pass
    // through unchanged.
    virtual InstallationOutcome install() = 0;
    // Returns a removal message; throws as `install` does.
    virtual std::string uninstall() = 0;
};

}  // namespace ventrella::apphardware
