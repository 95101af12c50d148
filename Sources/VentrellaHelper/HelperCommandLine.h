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

// The helper's entry with everything it reaches out to made replaceable.
struct HelperEntry {
    // Writes "client-cdhash" when the helper runs from an application bundle; throws on failure.
    std::function<void()> refreshClientHash;
    std::function<bool()> markerExists;
    std::function<std::shared_ptr<SMCController>(bool shouldRecover)> makeController;
    // Listens and serves with the controller; in the helper it never returns.
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
