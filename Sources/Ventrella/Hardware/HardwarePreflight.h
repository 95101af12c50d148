#pragma once

#include <vector>

#include "VentrellaShared/FanInfo.h"
#include "VentrellaShared/HardwareCapabilities.h"

namespace ventrella::apphardware {

// What the preflight found: whether this Mac can be monitored and controlled, and its fans.
struct HardwarePreflight {
    shared::HardwareCapabilities capabilities;
    std::vector<shared::FanInfo> fans;

    bool operator==(const HardwarePreflight&) const = default;
};

}  // namespace ventrella::apphardware
