#pragma once

#include <sys/types.h>

#include <fstream>
#include <string>

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

}  // namespace ventrella::testsupport
