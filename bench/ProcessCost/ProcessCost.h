#pragma once

#include <chrono>
#include <cstddef>

namespace ventrella::bench {

// What a process cost over an interval, as ProcessCostSampler measured it.
struct ProcessCost {
    std::chrono::nanoseconds wallTime{};
    // User and system time of all its threads, those that ended included, from the process's
    // CPU-time clock (nanoseconds; /proc/<pid>/stat counts in ticks of 10 ms, too coarse for a
    // process that sleeps almost all the time).
    std::chrono::nanoseconds cpuTime{};
    // The split from /proc/<pid>/stat, in clock ticks: coarse, but says where the time went.
    unsigned long long userTicks = 0;
    unsigned long long systemTicks = 0;
    // Context switches of its threads (see ThreadSwitchLedger for threads that ended).
    unsigned long long voluntarySwitches = 0;
    unsigned long long involuntarySwitches = 0;
    long long peakResidentKiB = 0;   // VmHWM at the last look: the peak over the process's life
    long long finalResidentKiB = 0;  // VmRSS at the last look
    long long mostResidentKiB = 0;   // the largest VmRSS any look found
    std::size_t finalThreads = 0;
    std::size_t mostThreads = 0;
    std::size_t threadsStarted = 0;
    std::size_t threadsEnded = 0;  // non-zero: some of their switches may be missing

    // Every switch is a wake-up of one of its threads: it went to sleep (voluntary) or was
    // preempted (involuntary) and ran again.
    unsigned long long wakeups() const { return voluntarySwitches + involuntarySwitches; }
    // The share of one core it used, 0.01 for 1 %.
    double coreShare() const {
        return wallTime.count() > 0
                   ? static_cast<double>(cpuTime.count()) / static_cast<double>(wallTime.count())
                   : 0.0;
    }
};

}  // namespace ventrella::bench
