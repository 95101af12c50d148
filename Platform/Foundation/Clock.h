#pragma once

namespace platform::foundation {

// Seconds of monotonic system uptime; never goes backwards.
double systemUptimeSeconds();

// Wall-clock seconds since 1970-01-01 UTC.
double secondsSince1970();

// Blocks the calling thread for the interval (no-op for zero or negative).
void sleepForSeconds(double seconds);

}  // namespace platform::foundation
