#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Ventrella/Core/TemperatureAggregation.h"
#include "Ventrella/Core/TemperatureReading.h"
#include "Ventrella/Core/TemperatureSource.h"
#include "VentrellaShared/FanInfo.h"

namespace ventrella::core {

// One reading of the hardware: temperatures in Celsius by sensor key, and the fans.
struct SensorSnapshot {
    std::map<std::string, double> cpuTemperatures;
    std::map<std::string, double> gpuTemperatures;
    std::vector<shared::FanInfo> fans;

    // The temperature of the chosen sensors; absent when the source has none. With
    // `cpuAndGPU` a key present in both maps counts once, with its CPU value. The hottest of
    // several equally hot sensors is the one with the smallest key.
    std::optional<TemperatureReading> reading(TemperatureSource source,
                                              TemperatureAggregation aggregation) const;

    bool operator==(const SensorSnapshot&) const = default;
};

}  // namespace ventrella::core
