#include "Ventrella/Core/TemperatureSource.h"

namespace ventrella::core {

std::string_view rawValue(TemperatureSource source) {
    switch (source) {
        case TemperatureSource::cpu:
            return "cpu";
        case TemperatureSource::gpu:
            return "gpu";
        case TemperatureSource::cpuAndGPU:
            return "cpuAndGPU";
    }
    return "cpu";
}

std::optional<TemperatureSource> temperatureSourceFromRawValue(std::string_view raw) {
    for (auto source : allTemperatureSources) {
        if (rawValue(source) == raw) {
            return source;
        }
    }
    return std::nullopt;
}

std::string compactTitle(TemperatureSource source) {
    switch (source) {
        case TemperatureSource::cpu:
            return "CPU";
        case TemperatureSource::gpu:
            return "GPU";
        case TemperatureSource::cpuAndGPU:
            return "CPU/GPU";
    }
    return "CPU";
}

}  // namespace ventrella::core
