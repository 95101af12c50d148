#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace probe {

std::filesystem::path probePath(const std::string& name);

// A started probe program; killed and reaped on destruction if still running.
class ProbeProcess {
  public:
    // launcher: a program and its arguments that exec the probe in its own process
    // (e.g. to run it as another user).
    explicit ProbeProcess(const std::filesystem::path& program,
                          const std::vector<std::string>& extraEnvironment = {},
                          const std::vector<std::string>& launcher = {});
    ProbeProcess(const ProbeProcess&) = delete;
    ProbeProcess& operator=(const ProbeProcess&) = delete;
    ~ProbeProcess();

    pid_t pid() const { return pid_; }
    // The probe's "ready" line, or an empty string after 10 s or at end of output.
    std::string readLine();
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

}  // namespace probe
