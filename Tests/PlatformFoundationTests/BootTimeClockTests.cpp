#include "Platform/Foundation/BootTimeClock.h"

#include <gtest/gtest.h>

#include <fstream>

#include "Platform/Foundation/Clock.h"

using platform::foundation::BootTimeClock;

// The kernel's own uptime in /proc/uptime counts time asleep, as the clock must; a monotonic
// or wall clock would stand apart from it (the wall clock by decades).
TEST(BootTimeClock, CountsFromBootLikeTheKernelsUptimeAndNeverGoesBack) {
    const BootTimeClock clock;
    double kernelUptime = 0;
    std::ifstream("/proc/uptime") >> kernelUptime;
    const double first = clock.uptimeSeconds();
    ASSERT_GT(kernelUptime, 0);
    EXPECT_NEAR(first, kernelUptime, 1.0);
    // Time asleep is in it, so it is never behind the monotonic uptime.
    EXPECT_GE(first + 1e-3, platform::foundation::systemUptimeSeconds());
    double previous = first;
    for (int read = 0; read < 1000; ++read) {
        const double next = clock.uptimeSeconds();
        ASSERT_GE(next, previous);
        previous = next;
    }
}
