#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace virtualmac {

// One fan's speed range and the speed the firmware runs it at by itself.
struct SimulatedFan {
    double minimumRPM = 1200;
    double maximumRPM = 5800;
    double automaticTargetRPM = 2000;  // what the firmware runs the fan at on its own
};

// The shape of a simulated Mac's fan hardware.
struct SimulatedSMCConfiguration {
    // Fan keys carry the fan's number as one digit, "F0Ac" to "F9Ac", so no more fans can
    // be named; the 16 bits of the legacy mask "FS! " hold a bit for each of them.
    static constexpr std::size_t maximumFans = 10;

    enum class ModeKeys {
        lowerCase,   // "F%dmd"
        upperCase,   // "F%dMd"
        legacyMask,  // one ui16 "FS! ", bit n = fan n manual
        none,
    };

    std::vector<SimulatedFan> fans = std::vector<SimulatedFan>(2);
    ModeKeys modeKeys = ModeKeys::lowerCase;
    bool hasForceTest = false;              // an "Ftst" key exists
    bool forceTestGatesModeWrites = false;  // manual mode is refused until "Ftst" is 1
    std::string speedType = "flt ";         // or "fpe2"
    bool actualFollowsTargetInstantly = true;
};

}  // namespace virtualmac
