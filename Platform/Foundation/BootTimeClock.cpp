#include "Platform/Foundation/BootTimeClock.h"

#include <time.h>

#include <cerrno>
#include <system_error>

namespace platform::foundation {

double BootTimeClock::uptimeSeconds() const {
    timespec now{};
    if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        // Only an unsupported clock fails, and Linux has had this one since 2.6.39.
        throw std::system_error(errno, std::generic_category(), "CLOCK_BOOTTIME");
    }
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace platform::foundation
