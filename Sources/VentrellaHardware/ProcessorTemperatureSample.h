#pragma once

#include <string>

namespace ventrella::hardware {

enum class ProcessorTemperatureGroup { cpu, gpu };

// One processor temperature read from a HID sensor.
struct ProcessorTemperatureSample {
    std::string key;   // "HID:" followed by the sensor's product name
    double value = 0;  // degrees Celsius
    ProcessorTemperatureGroup group = ProcessorTemperatureGroup::cpu;

    bool operator==(const ProcessorTemperatureSample&) const = default;
};

}  // namespace ventrella::hardware
