#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Support/Eventually.h"

namespace ventrella::testsupport {

// This process's environment with `changes` applied: a value sets the variable, nullopt unsets it.
std::vector<std::string> environmentWith(
    const std::map<std::string, std::optional<std::string>>& changes);

// A program started for a test and never left behind: the destructor kills what still runs and
// reaps it. The child starts with no signal blocked and default signal dispositions, whatever
// the test process blocks.
class ChildProcess {
  public:
    struct Options {
        std::vector<std::string> arguments;  // the program first (a path, or a name on PATH)
        std::vector<std::string> environment = environmentWith({});
        std::filesystem::path output = "/dev/null";  // standard output
        std::filesystem::path errors = "/dev/null";  // standard error
        // Descriptors handed on: (descriptor here, number in the child).
        std::vector<std::pair<int, int>> descriptors;
    };

    // Throws std::runtime_error when the program cannot be started.
    explicit ChildProcess(Options options);
    ~ChildProcess();

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    void signal(int number) const;

    // The exit status (128 + the signal's number when a signal ended it), or nullopt when it
    // still runs after `seconds`.
    std::optional<int> waitForExit(double seconds = eventDeadlineSeconds);

    // Kills the program (SIGKILL) and reaps it.
    void kill();

  private:
    bool reap(bool block);

    pid_t pid_ = -1;
    std::optional<int> status_;
};

struct CommandResult {
    int status = -1;
    std::string output;
    std::string errors;
};

// Runs a program to its end (at most `seconds`, then it is killed) and returns what it wrote.
CommandResult runCommand(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment = environmentWith({}),
                         double seconds = eventDeadlineSeconds);

}  // namespace ventrella::testsupport
