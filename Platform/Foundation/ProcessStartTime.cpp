#include "Platform/Foundation/ProcessStartTime.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <ctime>
#include <string>
#include <string_view>

namespace platform::foundation {

namespace {

// /proc/<pid>/stat is a single short line; anything longer is not what it should be.
constexpr std::size_t kMaximumStatBytes = 4096;

std::optional<std::string> readStat(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::array<char, kMaximumStatBytes> buffer{};
    std::size_t filled = 0;
    bool ok = true;
    while (filled < buffer.size()) {
        const ssize_t got = ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ok = false;
        }
        if (got <= 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (!ok || filled == 0 || filled == buffer.size()) {
        return std::nullopt;
    }
    return std::string(buffer.data(), filled);
}

}  // namespace

std::optional<std::uint64_t> processStartTime(pid_t processIdentifier) {
    if (processIdentifier <= 0) {
        return std::nullopt;
    }
    const auto stat = readStat(processIdentifier);
    if (!stat) {
        return std::nullopt;
    }
    // Fields are counted after the command name, which may itself hold blanks and parentheses,
    // hence the last ')'.
    const auto close = stat->rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::string_view rest(*stat);
    rest.remove_prefix(close + 1);
    int field = 2;
    while (!rest.empty()) {
        while (!rest.empty() && rest.front() == ' ') {
            rest.remove_prefix(1);
        }
        const auto end = std::min(rest.find(' '), rest.size());
        ++field;
        if (field == 22) {
            std::uint64_t value = 0;
            const auto [ptr, ec] = std::from_chars(rest.data(), rest.data() + end, value);
            if (ec != std::errc() || ptr != rest.data() + end) {
                return std::nullopt;
            }
            return value;
        }
        rest.remove_prefix(end);
    }
    return std::nullopt;
}

std::uint64_t bootTimeTicks() {
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const auto ticksPerSecond = static_cast<std::uint64_t>(::sysconf(_SC_CLK_TCK));
    return static_cast<std::uint64_t>(now.tv_sec) * ticksPerSecond +
           static_cast<std::uint64_t>(now.tv_nsec) * ticksPerSecond / 1000000000ULL;
}

}  // namespace platform::foundation
