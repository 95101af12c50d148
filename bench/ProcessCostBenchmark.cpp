// What each kind of probe process costs over an interval, as ProcessCostSampler measures it: a
// process that waits costs next to nothing, one that spins a whole core, one that wakes every
// 2 ms a few hundred wake-ups a second, one that starts a thread every 30 ms its churn.
//
//   process-cost-bench [--seconds N]

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "ProcessCost/ProcessCostSampler.h"

extern char** environ;

namespace {

using ventrella::bench::ProcessCost;

// The probe in one of its modes, running until its input ends.
class Probe {
  public:
    explicit Probe(const std::string& mode) {
        int input[2];
        int output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, input[0], 0);
        posix_spawn_file_actions_adddup2(&actions, output[1], 1);
        std::string program = COST_PROBE;
        std::string argument = mode;
        char* argv[] = {program.data(), argument.data(), nullptr};
        const int spawned = ::posix_spawn(&pid_, COST_PROBE, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(input[0]);
        ::close(output[1]);
        input_ = input[1];
        output_ = ::fdopen(output[0], "r");
        char line[64] = {};
        if (spawned != 0 || output_ == nullptr || std::fgets(line, sizeof line, output_) == nullptr)
            throw std::runtime_error("the probe did not start in mode " + mode);
    }
    ~Probe() {
        ::close(input_);
        if (output_ != nullptr)
            std::fclose(output_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int input_ = -1;
    FILE* output_ = nullptr;
};

ProcessCost measure(const std::string& mode, std::chrono::seconds interval) {
    const Probe probe(mode);
    ventrella::bench::ProcessCostSampler sampler(probe.pid());
    const auto looks = interval / std::chrono::milliseconds(100);
    for (long look = 0; look < looks; ++look) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sampler.sample();
    }
    return sampler.finish();
}

}  // namespace

int main(int argc, char** argv) {
    std::chrono::seconds interval(2);
    if (argc == 3 && std::string(argv[1]) == "--seconds" && std::atoi(argv[2]) > 0 &&
        std::atoi(argv[2]) <= 3600) {
        interval = std::chrono::seconds(std::atoi(argv[2]));
    } else if (argc != 1) {
        std::cerr << "usage: process-cost-bench [--seconds N]\n";
        return 2;
    }
    for (const char* mode : {"idle", "busy", "waker", "churn"}) {
        const ProcessCost cost = measure(mode, interval);
        const double seconds = std::chrono::duration<double>(cost.wallTime).count();
        std::printf(
            "%-6s %.3f ms CPU time (%.1f %% of a core), %.0f wake-ups/s (%llu voluntary, %llu "
            "involuntary), %zu threads started and %zu ended, at most %zu at once\n",
            mode, std::chrono::duration<double, std::milli>(cost.cpuTime).count(),
            100 * cost.coreShare(), static_cast<double>(cost.wakeups()) / seconds,
            cost.voluntarySwitches, cost.involuntarySwitches, cost.threadsStarted,
            cost.threadsEnded, cost.mostThreads);
    }
    return 0;
}
