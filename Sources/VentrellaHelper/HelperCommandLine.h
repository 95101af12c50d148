#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "AppLog/AppLog.h"
#include "VentrellaHelper/SMCController.h"

namespace ventrella::helper {

enum class HelperCommand {
    // Exactly "--restore-automatic": restore and verify Apple Automatic once, then exit.
    restoreAutomatic,
    // Anything else, including extra arguments: run as the daemon.
    daemon,
};

HelperCommand helperCommand(const std::vector<std::string>& argumentsAfterProgram);

// The one-shot restore: prints the outcome and answers the exit status (0 or 1).
int runRestoreAutomatic(SMCController& controller, std::ostream& out, std::ostream& err);

// What claiming the helper's Mach service found.
enum class ServiceClaim {
    claimed,
    // Another helper serves the name: this one must leave the fans alone and exit.
    heldByAnotherHelper,
};

// The helper's entry with everything it reaches out to made replaceable.
struct HelperEntry {
    // Takes the helper's Mach service before anything else of the daemon runs; throws when its
    // listener cannot be set up.
    std::function<ServiceClaim()> claimService;
    // Writes "client-cdhash" when the helper runs from an application bundle; throws on failure.
    std::function<void()> refreshClientHash;
    std::function<bool()> markerExists;
    std::function<std::shared_ptr<SMCController>(bool shouldRecover)> makeController;
    // Serves the claimed service with the controller; in the helper it returns only when the
    // listener cannot resume (status 1).
    std::function<int(std::shared_ptr<SMCController>)> serve;
    applog::AppLog::Channel log;

    // Answers the process's exit status.
    int run(const std::vector<std::string>& argumentsAfterProgram, std::ostream& out,
            std::ostream& err) const;
};

// The helper's own log: subsystem "com.quillmoor.Ventrella.helper", category
// "ClientAuthorization".
applog::AppLog::Channel helperLog();

}  // namespace ventrella::helper
