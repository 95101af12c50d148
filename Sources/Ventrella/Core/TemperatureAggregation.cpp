#include "Ventrella/Core/TemperatureAggregation.h"

#include "Ventrella/Core/L10n.h"

namespace ventrella::core {

std::string_view rawValue(TemperatureAggregation aggregation) {
    switch (aggregation) {
        case TemperatureAggregation::hottest:
            return "hottest";
        case TemperatureAggregation::average:
            return "average";
    }
    return "average";
}

std::optional<TemperatureAggregation> temperatureAggregationFromRawValue(std::string_view raw) {
    for (auto aggregation : allTemperatureAggregations) {
        if (rawValue(aggregation) == raw) {
            return aggregation;
        }
    }
    return std::nullopt;
}

std::string title(TemperatureAggregation aggregation) {
    switch (aggregation) {
        case TemperatureAggregation::hottest:
            return L10n::string("Hottest");
        case TemperatureAggregation::average:
            return L10n::string("Average");
    }
    return L10n::string("Average");
}

}  // namespace ventrella::core
