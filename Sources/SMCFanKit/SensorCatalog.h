#pragma once

#include <functional>
#include <string>
#include <vector>

#include "SMCFanKit/SensorKey.h"

namespace ventrella::fan {

// The SMC sensor keys worth trying, per Apple silicon generation and across
// platforms. Within a list the order is the order in which keys are tried and shown.
struct SensorCatalog {
    // Yields the machine's hardware model text ("Mac15,3"), empty when unknown.
    using HardwareModelProvider = std::function<std::string()>;

    static const std::vector<SensorKey>& crossPlatform();
    static const std::vector<SensorKey>& m1();
    static const std::vector<SensorKey>& m2();
    static const std::vector<SensorKey>& m3();
    static const std::vector<SensorKey>& m4();
    static const std::vector<SensorKey>& m5();

    // The system's "hw.model" value up to its first zero byte; empty when it
    // cannot be read or is not ASCII.
    static std::string systemHardwareModel();

    // The generation list chosen by the hardware model's prefix, followed by the
    // cross-platform list; the cross-platform list alone when no prefix matches.
    static std::vector<SensorKey> keysForCurrentHardware(
        const HardwareModelProvider& hardwareModel = systemHardwareModel);
};

}  // namespace ventrella::fan
