#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace virtualmac {

// The programs of macOS the simulated Mac provides under its root: "/usr/bin/osascript" and
// "/bin/launchctl". Each is `virtual-mac` itself under that name.
struct StandInTool {
    std::string macPath;
    int (*run)(const std::vector<std::string>& arguments);
};
const std::vector<StandInTool>& standInTools();

// The tool a program name stands for (the file name of argv[0]), if any.
std::optional<StandInTool> standInToolNamed(const std::string& programPath);

// Links each tool's path under the root to `program` (replacing what is there), in folders the
// machine's user alone can change (MachineFiles.h). Not done for the root "/", whose programs
// are the host's own. Throws std::filesystem::filesystem_error.
void installStandInTools(const std::filesystem::path& root, const std::filesystem::path& program);

}  // namespace virtualmac
