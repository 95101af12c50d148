#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace ventrella::core {

// How the chosen sensors are combined into one temperature.
enum class TemperatureAggregation { hottest, average };

inline constexpr std::array<TemperatureAggregation, 2> allTemperatureAggregations = {
    TemperatureAggregation::hottest, TemperatureAggregation::average};

// "hottest", "average".
std::string_view rawValue(TemperatureAggregation aggregation);
std::optional<TemperatureAggregation> temperatureAggregationFromRawValue(std::string_view raw);

// "Hottest" or "Average" in the interface language.
std::string title(TemperatureAggregation aggregation);

}  // namespace ventrella::core
