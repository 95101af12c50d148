#pragma once

namespace ventrella::shared {

// Timings in seconds shared by the helper's watchdog and the app's control loop.
struct FanControlTiming {
    FanControlTiming() = delete;

    static constexpr double watchdogTimeoutSeconds = 30.0;
    static constexpr double ownershipRenewalIntervalSeconds = 15.0;
    static constexpr double maximumPollIntervalSeconds = 5.0;
};

}  // namespace ventrella::shared
