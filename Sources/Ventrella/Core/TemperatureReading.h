#pragma once

#include <cstdint>
#include <string>

namespace ventrella::core {

// The one temperature a snapshot yields for a source and aggregation.
struct TemperatureReading {
    double value = 0;   // Celsius
    std::string label;  // the hottest sensor's key, or "Sensors: %d" of an average
    std::int64_t sensorCount = 0;

    bool operator==(const TemperatureReading&) const = default;
};

}  // namespace ventrella::core
