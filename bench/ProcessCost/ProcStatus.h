#pragma once

#include <optional>
#include <string_view>

namespace ventrella::bench {

// What the cost figures use of a /proc/<pid>/status or /proc/<pid>/task/<tid>/status text.
// The context switches are the task's own: the process's file counts its main thread only.
struct ProcStatus {
    std::optional<long long> residentKiB;      // VmRSS; absent for kernel threads and zombies
    std::optional<long long> peakResidentKiB;  // VmHWM, the peak over the process's life
    std::optional<long long> threads;
    unsigned long long voluntarySwitches = 0;
    unsigned long long involuntarySwitches = 0;

    bool operator==(const ProcStatus&) const = default;
};

// nullopt when either switch counter is missing or a field the figures use does not read as a
// number.
std::optional<ProcStatus> parseProcStatus(std::string_view text);

}  // namespace ventrella::bench
