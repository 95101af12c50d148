#pragma once

#include <string_view>

namespace ventrella::fan {

// The physical quantity a sensor measures.
enum class SensorType { current, power, temperature, voltage };

// "Current", "Power", "Temperature" or "Voltage".
constexpr std::string_view rawValue(SensorType type) {
    switch (type) {
        case SensorType::current:
            return "Current";
        case SensorType::power:
            return "Power";
        case SensorType::temperature:
            return "Temperature";
        case SensorType::voltage:
            return "Voltage";
    }
    return "Temperature";
}

}  // namespace ventrella::fan
