#include "VentrellaHardware/AppleSiliconHIDTemperatureReader.h"

#include <algorithm>
#include <cctype>

#include "VentrellaSensors/AppleSiliconTemperatureSensors.h"

namespace ventrella::hardware {

std::optional<ProcessorTemperatureGroup> AppleSiliconHIDTemperatureReader::group(
    const std::string& productName) {
    std::string lower = productName;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const auto contains = [&lower](const char* word) {
        return lower.find(word) != std::string::npos;
    };
    if (contains("gpu")) {
        return ProcessorTemperatureGroup::gpu;
    }
    if (contains("pacc") || contains("eacc") || contains("cpu") || contains("soc")) {
        return ProcessorTemperatureGroup::cpu;
    }
    return std::nullopt;
}

std::vector<ProcessorTemperatureSample> AppleSiliconHIDTemperatureReader::read() {
    std::vector<ProcessorTemperatureSample> samples;
    for (const auto& [name, celsius] : sensors::VLAppleSiliconTemperatureSensors()) {
        if (const auto found = group(name)) {
            samples.push_back({"HID:" + name, celsius, *found});
        }
    }
    return samples;
}

}  // namespace ventrella::hardware
