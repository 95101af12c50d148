#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "Support/Eventually.h"

namespace ventrella::testsupport {

// A started program that the tests talk to through its standard input and output; killed and
// reaped on destruction if still running. It inherits the environment without loader settings.
class ProbeProcess {
  public:
    // launcher: a program and its arguments that exec the probe in its own process
    // (e.g. to run it as another user); arguments: the probe's own.
    explicit ProbeProcess(const std::filesystem::path& program,
                          const std::vector<std::string>& extraEnvironment = {},
                          const std::vector<std::string>& launcher = {},
                          const std::vector<std::string>& arguments = {});
    ProbeProcess(const ProbeProcess&) = delete;
    ProbeProcess& operator=(const ProbeProcess&) = delete;
    ~ProbeProcess();

    pid_t pid() const { return pid_; }
    // The next line of the probe's output, or an empty string after the bound or at end of output.
    std::string readLine(std::chrono::milliseconds bound = eventDeadline);
    bool waitReady() { return readLine().rfind("ready ", 0) == 0; }
    void send(const std::string& line);
    // Closes the probe's input and reaps it; the wait status.
    int finish();
    // Closes the probe's input and waits until it has exited, without reaping it.
    bool waitUntilExitedButNotReaped();

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    bool reaped_ = false;
};

}  // namespace ventrella::testsupport
