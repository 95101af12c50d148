#pragma once

#include <string>

#include "SMCFanKit/SensorGroup.h"
#include "SMCFanKit/SensorType.h"

namespace ventrella::fan {

// One named SMC sensor: the four-character key (case-sensitive) and how to show it.
struct SensorKey {
    std::string key;
    std::string name;
    SensorGroup group = SensorGroup::system;
    SensorType type = SensorType::temperature;

    friend bool operator==(const SensorKey&, const SensorKey&) = default;
};

}  // namespace ventrella::fan
