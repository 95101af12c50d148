#include "Ventrella/Core/SensorSnapshot.h"

#include "Ventrella/Core/L10n.h"

namespace ventrella::core {

std::optional<TemperatureReading> SensorSnapshot::reading(
    TemperatureSource source, TemperatureAggregation aggregation) const {
    std::map<std::string, double> picked;
    switch (source) {
        case TemperatureSource::cpu:
            picked = cpuTemperatures;
            break;
        case TemperatureSource::gpu:
            picked = gpuTemperatures;
            break;
        case TemperatureSource::cpuAndGPU:
            picked = cpuTemperatures;
            picked.insert(gpuTemperatures.begin(), gpuTemperatures.end());  // keeps CPU values
            break;
    }
    if (picked.empty()) {
        return std::nullopt;
    }
    const auto count = static_cast<std::int64_t>(picked.size());
    if (aggregation == TemperatureAggregation::hottest) {
        // Keys ascend, so only a strictly hotter sensor replaces the one found first.
        auto hottest = picked.begin();
        for (auto entry = picked.begin(); entry != picked.end(); ++entry) {
            if (entry->second > hottest->second) {
                hottest = entry;
            }
        }
        return TemperatureReading{hottest->second, hottest->first, count};
    }
    double sum = 0;
    for (const auto& [key, value] : picked) {
        sum += value;
    }
    return TemperatureReading{sum / static_cast<double>(count), L10n::format("Sensors: %d", count),
                              count};
}

}  // namespace ventrella::core
