#pragma once

#include <optional>
#include <string_view>

namespace ventrella::bench {

// What the cost figures use of a /proc/<pid>/stat or /proc/<pid>/task/<tid>/stat line. Times are
// in clock ticks (sysconf(_SC_CLK_TCK) per second).
struct ProcStat {
    char state = '?';
    unsigned long long userTicks = 0;
    unsigned long long systemTicks = 0;
    unsigned long long threads = 0;
    // Since boot: tells a reused process or thread id from the one it belonged to before.
    unsigned long long startTicks = 0;

    bool operator==(const ProcStat&) const = default;
};

// nullopt for text that is not such a line. The command name may hold blanks and parentheses of
// its own; it ends at the last ')'.
std::optional<ProcStat> parseProcStat(std::string_view text);

}  // namespace ventrella::bench
