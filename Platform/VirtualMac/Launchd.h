#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "Platform/ServiceManagement/ServiceError.h"
#include "Platform/ServiceManagement/ServiceStatus.h"
#include "Platform/VirtualMac/DaemonSupervisor.h"

namespace virtualmac {

// The machine's launchd beyond the daemons it starts at boot: loading and unloading daemons of
// /Library/LaunchDaemons at run time (launchctl), and daemons that applications register from
// their own bundles (the service-management framework). A registered daemon runs from the
// bundle as root under the same supervisor. New registrations may have to wait for the user's
// approval: register then fails with EPERM and the status reads "requires approval" until the
// approval is granted. Refusals are service errors (the POSIX domain where a code exists).
//
// Used from the machine's control thread only.
class Launchd {
  public:
    using ServiceStatus = platform::servicemanagement::ServiceStatus;

    Launchd(DaemonSupervisor& daemons, std::filesystem::path root);

    // launchctl bootstrap: loads the daemon a property list describes (its program a macOS
    // path under the root). EEXIST when its label is loaded already.
    void bootstrap(const std::filesystem::path& propertyList);
    // launchctl bootout: stops and forgets a daemon loaded from /Library/LaunchDaemons. ESRCH
    // when nothing has the label, EPERM when a registration owns it.
    void bootout(const std::string& label);
    struct LoadedDaemon {
        std::string program;       // the program's path on this machine
        std::optional<pid_t> pid;  // absent while it is down
        bool registered = false;   // registered by an application rather than bootstrapped
    };
    // Nothing when no daemon has the label.
    std::optional<LoadedDaemon> loaded(const std::string& label) const;

    // The daemon of `plistName` in the bundle's Contents/Library/LaunchDaemons. Registrations
    // are kept by the bundle's path as given: the control interface resolves it before it
    // checks who asks (MachineAccess.h).
    ServiceStatus status(const std::filesystem::path& bundle, const std::string& plistName) const;
    void registerService(const std::filesystem::path& bundle, const std::string& plistName);
    void unregisterService(const std::filesystem::path& bundle, const std::string& plistName);

    // Whether later registrations wait for approval (at first they do not).
    void requireApproval(bool required) { approvalRequired_ = required; }
    // The user allows every waiting registration; their daemons start. Returns how many.
    std::size_t grantApproval();

    // The control interface's launchd and service commands; nothing for other commands.
    std::optional<nlohmann::ordered_json> handle(const std::string& command,
                                                 const nlohmann::json& request);

  private:
    struct Registration {
        DaemonDefinition definition;
        bool approved = false;
    };

    std::string registrationKey(const std::filesystem::path& bundle,
                                const std::string& plistName) const;
    DaemonDefinition verifiedDefinition(const std::filesystem::path& bundle,
                                        const std::string& plistName) const;
    bool labelInUse(const std::string& label) const;
    bool registeredLabel(const std::string& label) const;

    DaemonSupervisor& daemons_;
    std::filesystem::path root_;
    std::map<std::string, Registration> registrations_;
    bool approvalRequired_ = false;
};

}  // namespace virtualmac
