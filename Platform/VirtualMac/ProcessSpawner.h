#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace virtualmac {

// Starts a program as launchd starts what it runs: `arguments` (the program's path first) in
// `environment`, standard input from /dev/null, standard output and error on `output`, the
// working folder "/", default signal handling with no signal blocked, a process group of its
// own, and no other descriptor of this process. The process, or -1 with errno.
pid_t spawnProcess(std::vector<std::string> arguments, std::vector<std::string> environment,
                   int output);

}  // namespace virtualmac
