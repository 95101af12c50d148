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
    try {
        refreshClientHash();
    } catch (...) {
        const std::string message = shared::errorDescription(std::current_exception());
        // The helper is about to stop serving: fans a crashed predecessor left manual would stay
        // manual with nobody to hand them back, so try once, as the one-shot command does.
        if (markerExists()) {
            try {
                makeController(false)->restoreForUninstall();
            } catch (...) {
            }
        }
        using applog::pub;
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
