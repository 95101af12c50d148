#include "Platform/VirtualMac/StandInTools.h"

#include <unistd.h>

#include "Platform/VirtualMac/LaunchctlTool.h"
#include "Platform/VirtualMac/MachineFiles.h"
#include "Platform/VirtualMac/OsascriptTool.h"

namespace virtualmac {

namespace fs = std::filesystem;

const std::vector<StandInTool>& standInTools() {
    static const std::vector<StandInTool> tools{{"/usr/bin/osascript", &runOsascript},
                                                {"/bin/launchctl", &runLaunchctl}};
    return tools;
}

std::optional<StandInTool> standInToolNamed(const std::string& programPath) {
    const std::string name = fs::path(programPath).filename().string();
    for (const auto& tool : standInTools()) {
        if (fs::path(tool.macPath).filename() == name) {
            return tool;
        }
    }
    return std::nullopt;
}

void installStandInTools(const fs::path& root, const fs::path& program) {
    if (fs::weakly_canonical(root) == "/") {
        return;
    }
    for (const auto& tool : standInTools()) {
        const fs::path link = root / fs::path(tool.macPath).relative_path();
        // Root's alone: the installation scripts run these programs as root.
        layOutFolder(link.parent_path());
        // Made aside and renamed into place, so that the name never dangles or is missing.
        fs::path temporary = link;
        temporary += ".new." + std::to_string(::getpid());
        fs::remove(temporary);
        fs::create_symlink(program, temporary);
        fs::rename(temporary, link);
    }
}

}  // namespace virtualmac
