#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "VentrellaHardware/ProcessorTemperatureSample.h"

namespace ventrella::hardware {

// The HID temperature sensors of an Apple silicon Mac as CPU and GPU samples.
struct AppleSiliconHIDTemperatureReader {
    // One sample per CPU or GPU sensor, in no particular order; other sensors are dropped.
    // Never fails: an unreachable HID system gives no samples.
    static std::vector<ProcessorTemperatureSample> read();

    // The group a sensor's product name belongs to, by the words it contains in any case:
    // "gpu" first, then "pacc", "eacc", "cpu" or "soc"; none for anything else.
    static std::optional<ProcessorTemperatureGroup> group(const std::string& productName);
};

}  // namespace ventrella::hardware
