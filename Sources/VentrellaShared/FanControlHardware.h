#pragma once

#include <cstdint>
#include <vector>

#include "VentrellaShared/FanInfo.h"
#include "VentrellaShared/FanTargets.h"

namespace ventrella::shared {

// Fan access as the engine needs it. Every operation may throw; the engine lets the error
// propagate or rolls back, depending on where it happens.
class FanControlHardware {
  public:
    virtual ~FanControlHardware() = default;

    // Fails when fan control is not possible on this machine.
    virtual void validateControlSupport() = 0;
    // Every fan, in the hardware's order.
    virtual std::vector<FanInfo> readFans() = 0;
    virtual void enableManualMode(std::int64_t fanID) = 0;
    virtual void writeTargetRPM(std::int64_t fanID, std::int64_t rpm) = 0;
    // Reads the fans back for verification; the engine does the comparing.
    virtual std::vector<FanInfo> verifyManualTargets(const FanTargets& targets) = 0;
    // Hands every fan back to Apple Automatic and returns the fans as read afterwards.
    virtual std::vector<FanInfo> restoreAutomatic() = 0;
};

}  // namespace ventrella::shared
