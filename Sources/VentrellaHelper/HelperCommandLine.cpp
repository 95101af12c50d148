#include "VentrellaHelper/HelperCommandLine.h"

#include <exception>

#include "VentrellaHelper/HelperPaths.h"
#include "VentrellaShared/ErrorDescription.h"

namespace ventrella::helper {

HelperCommand helperCommand(const std::vector<std::string>& argumentsAfterProgram) {
    if (argumentsAfterProgram.size() == 1 && argumentsAfterProgram[0] == "--restore-automatic") {
        return HelperCommand::restoreAutomatic;
    }
    return HelperCommand::daemon;
}

int runRestoreAutomatic(SMCController& controller, std::ostream& out, std::ostream& err) {
    try {
        controller.restoreForUninstall();
    } catch (...) {
        err << "Apple Automatic could not be verified: "
            << shared::errorDescription(std::current_exception()) << "\n";
        err.flush();
        return 1;
    }
    out << "Apple Automatic was verified on every fan.\n";
    out.flush();
    return 0;
}

int HelperEntry::run(const std::vector<std::string>& argumentsAfterProgram, std::ostream& out,
                     std::ostream& err) const {
    if (helperCommand(argumentsAfterProgram) == HelperCommand::restoreAutomatic) {
        auto controller = makeController(false);
        return runRestoreAutomatic(*controller, out, err);
    }
    using applog::pub;
    // The helper is about to stop without serving: fans a crashed predecessor left manual would
    // stay manual with nobody to hand them back, so try once, as the one-shot command does.
    const auto restoreIfMarked = [this] {
        if (markerExists()) {
            try {
                makeController(false)->restoreForUninstall();
            } catch (...) {
            }
        }
    };
    ServiceClaim claim = ServiceClaim::claimed;
    try {
        claim = claimService();
    } catch (...) {
        const std::string message = shared::errorDescription(std::current_exception());
        restoreIfMarked();
        log.fault(applog::AppLogMessage() << "listener.setup_failed message=" << pub(message));
        return 1;
    }
    if (claim == ServiceClaim::heldByAnotherHelper) {
        // The fans belong to the helper that serves; nothing here may touch them.
        log.error(applog::AppLogMessage()
                  << "listener.in_use service=" << pub(std::string(HelperPaths::machServiceName)));
        err << "Another helper already serves " << HelperPaths::machServiceName
            << "; this one leaves the fans alone and exits.\n";
        err.flush();
        return 1;
    }
    try {
        refreshClientHash();
    } catch (...) {
        const std::string message = shared::errorDescription(std::current_exception());
        restoreIfMarked();
        log.fault(applog::AppLogMessage()
                  << "client.hash_bootstrap_failed message=" << pub(message));
        return 1;
    }
    return serve(makeController(true));
}

applog::AppLog::Channel helperLog() {
    return applog::AppLog::Channel(std::string(HelperPaths::machServiceName),
                                   std::string(HelperPaths::logCategory));
}

}  // namespace ventrella::helper
