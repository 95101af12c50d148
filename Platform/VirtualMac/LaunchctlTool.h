#pragma once

#include <string>
#include <vector>

namespace virtualmac {

// The simulated Mac's /bin/launchctl, for the system domain only:
//   launchctl bootstrap system PLIST     load the daemon PLIST describes
//   launchctl bootout system/LABEL       stop and unload it
//   launchctl print system/LABEL         exit 0 and show its state, pid and program when loaded
// Any user may print; only root may bootstrap or boot out (EPERM otherwise). A refusal prints
// one line and exits with its POSIX code (1 when it has none, or when no machine runs); bad
// arguments exit 64.
int runLaunchctl(const std::vector<std::string>& arguments);

}  // namespace virtualmac
