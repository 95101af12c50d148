#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace ventrella::core {

// Which sensors drive the guard.
enum class TemperatureSource { cpu, gpu, cpuAndGPU };

inline constexpr std::array<TemperatureSource, 3> allTemperatureSources = {
    TemperatureSource::cpu, TemperatureSource::gpu, TemperatureSource::cpuAndGPU};

// "cpu", "gpu", "cpuAndGPU".
std::string_view rawValue(TemperatureSource source);
std::optional<TemperatureSource> temperatureSourceFromRawValue(std::string_view raw);

// "CPU", "GPU", "CPU/GPU" in every language.
std::string compactTitle(TemperatureSource source);

}  // namespace ventrella::core
