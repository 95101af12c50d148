#pragma once

#include <sys/types.h>
#include <time.h>

#include <chrono>
#include <optional>
#include <vector>

#include "ProcessCost/ProcStat.h"
#include "ProcessCost/ProcStatus.h"
#include "ProcessCost/ProcessCost.h"
#include "ProcessCost/ThreadSwitchLedger.h"

namespace ventrella::bench {

// Measures what a running process costs from its first look at it to its last, from /proc and
// the process's CPU-time clock. Reading them does not wake the process. Any process of the same
// user can be measured; root can measure any.
class ProcessCostSampler {
  public:
    // Takes the first look now. Throws std::runtime_error when the process cannot be read.
    explicit ProcessCostSampler(pid_t pid);

    // A look between the first and the last: the more often, the less is lost of a thread that
    // ends (see ThreadSwitchLedger). Throws std::runtime_error when the process has ended.
    void sample();

    // Takes the last look and gives the cost since the first. Throws std::runtime_error when the
    // process has ended (or its id now names another process).
    ProcessCost finish();

  private:
    struct Look {
        std::chrono::steady_clock::time_point at;
        std::chrono::nanoseconds cpu{};
        ProcStat stat;
        ProcStatus status;
        std::vector<ThreadSwitches> threads;
    };

    Look look() const;

    pid_t pid_;
    clockid_t cpuClock_{};
    Look first_;
    std::optional<ThreadSwitchLedger> ledger_;
    long long mostResidentKiB_ = 0;
};

}  // namespace ventrella::bench
