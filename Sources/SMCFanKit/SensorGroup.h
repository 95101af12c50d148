#pragma once

#include <string_view>

namespace ventrella::fan {

// What part of the machine a sensor describes.
enum class SensorGroup { cpu, gpu, memory, system };

// "CPU", "GPU", "Memory" or "System".
constexpr std::string_view rawValue(SensorGroup group) {
    switch (group) {
        case SensorGroup::cpu:
            return "CPU";
        case SensorGroup::gpu:
            return "GPU";
        case SensorGroup::memory:
            return "Memory";
        case SensorGroup::system:
            return "System";
    }
    return "System";
}

}  // namespace ventrella::fan
