#pragma once

#include <sys/types.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ventrella::testsupport {

// True while the process runs. A detached process that has exited waits as a zombie for init
// to reap it: that counts as gone.
inline bool isProcessRunning(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos) {
        return false;
    }
    const auto state = line.find_first_not_of(' ', line.rfind(')') + 1);
    return state != std::string::npos && line[state] != 'Z' && line[state] != 'X';
}

// The process's real, effective, saved and file-system user ids, as its status shows them;
// empty when it has gone.
inline std::vector<uid_t> processUserIds(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Uid:", 0) == 0) {
            std::istringstream words(line.substr(4));
            std::vector<uid_t> ids;
            for (uid_t id = 0; words >> id;) {
                ids.push_back(id);
            }
            return ids;
        }
    }
    return {};
}

}  // namespace ventrella::testsupport
