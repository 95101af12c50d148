#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "SimulatedMac.h"

namespace ventrella::e2e {

inline constexpr const char* helperLabel = "com.quillmoor.Ventrella.helper";

// What a program printed on its joined output and error, and how it ended.
struct JoinedOutcome {
    int exitCode = -1;
    std::string output;
    bool pipeClosed = false;  // false: something still held the pipe at the bound
};

// Runs a program under the machine's root with its output and error joined in one pipe that is
// read to its end before the wait, as the application runs osascript. Gives up (killing the
// program) when the pipe is still open after `boundSeconds`.
JoinedOutcome runJoined(const SimulatedMac& mac, const std::vector<std::string>& arguments,
                        double boundSeconds = 60.0);

// The AppleScript the application builds to run a bundle script with administrator privileges.
std::string administratorSource(const std::string& scriptPath);

// The machine's osascript running that source for the script, started by the application's
// user as the application starts it.
JoinedOutcome runWithAdministratorPrivileges(const SimulatedMac& mac,
                                             const std::filesystem::path& script);

// The legacy helper's files and the client hash file under the root.
std::filesystem::path legacyHelper(const SimulatedMac& mac);
std::filesystem::path legacyPropertyList(const SimulatedMac& mac);

// launchctl print's program and pid of the helper's label, if loaded.
struct LoadedHelper {
    std::string program;
    std::optional<pid_t> pid;
};
std::optional<LoadedHelper> loadedHelper(const SimulatedMac& mac);

// The code-directory hash codesign shows for a program.
std::string codeHashOf(const SimulatedMac& mac, const std::filesystem::path& program);

}  // namespace ventrella::e2e
