#pragma once

#include "Platform/Foundation/UptimeClock.h"

namespace platform::foundation {

// Uptime that keeps counting while the machine sleeps (CLOCK_BOOTTIME), so an interval that
// spans a sleep shows as a gap even when no notification of it arrived. The monotonic
// `systemUptimeSeconds()` of Clock.h stops during sleep and stays what the helper's
// timers use.
class BootTimeClock final : public UptimeClock {
  public:
    double uptimeSeconds() const override;
};

}  // namespace platform::foundation
