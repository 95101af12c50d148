#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace platform::foundation {

// When a process started, in clock ticks since boot (field 22 of /proc/<pid>/stat); absent when
// the process does not exist or the file cannot be read. With the process id, it names one
// process for as long as the machine runs: a reused id comes with a later start time.
std::optional<std::uint64_t> processStartTime(pid_t processIdentifier);

// The same clock now: ticks since boot, the time asleep included.
std::uint64_t bootTimeTicks();

}  // namespace platform::foundation
