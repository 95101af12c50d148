#include "Ventrella/Diagnostics/DiagnosticSummary.h"

#include <cmath>
#include <cstdint>

#include "Ventrella/Diagnostics/DiagnosticNumberText.h"

namespace ventrella::diagnostics {

std::string DiagnosticSummary::settings(const core::GuardSettings& settings) {
    std::string text = "language=";
    text.append(core::rawValue(settings.appLanguage));
    text.append(" temperature_source=");
    text.append(core::rawValue(settings.temperatureSource));
    text.append(" temperature_aggregation=");
    text.append(core::rawValue(settings.temperatureAggregation));
    text.append(" boost=" + shortestDecimalText(settings.boostExitCelsius) + "-" +
                shortestDecimalText(settings.boostEnterCelsius) + "C@" +
                std::to_string(settings.boostPercent) + "%");
    text.append(" emergency=" + shortestDecimalText(settings.emergencyExitCelsius) + "-" +
                shortestDecimalText(settings.emergencyEnterCelsius) + "C");
    text.append(" poll=" + shortestDecimalText(settings.pollIntervalSeconds) + "s");
    return text;
}

std::string DiagnosticSummary::fans(const std::vector<shared::FanInfo>& fans) {
    if (fans.empty()) {
        return "none";
    }
    std::string text;
    for (const auto& fan : fans) {
        if (!text.empty()) {
            text.append(" | ");
        }
        text.append("F" + std::to_string(fan.id) + ":actual=" + rpm(fan.actualRPM) +
                    " min=" + rpm(fan.minimumRPM) + " max=" + rpm(fan.maximumRPM) +
                    " target=" + rpm(fan.targetRPM) + " mode=");
        text.append(shared::toString(fan.mode));
    }
    return text;
}

std::string DiagnosticSummary::sensorGroup(const std::string& label,
                                           const std::map<std::string, double>& values) {
    std::string text = label + "[" + std::to_string(values.size()) + "]=";
    std::size_t shown = 0;
    for (const auto& [key, value] : values) {
        if (shown == maximumSensorsShown) {
            break;
        }
        if (shown++ > 0) {
            text.push_back(',');
        }
        text.append(key + "=" + oneDecimalText(value) + "C");
    }
    if (values.size() > maximumSensorsShown) {
        text.append(",+" + std::to_string(values.size() - maximumSensorsShown) + " more");
    }
    return text;
}

std::string DiagnosticSummary::rpm(double value) {
    if (!std::isfinite(value) || value < 0 || value > 100000) {
        return "invalid";
    }
    // Halves away from zero; -0.0 becomes "0".
    return std::to_string(static_cast<std::int64_t>(std::round(value)));
}

}  // namespace ventrella::diagnostics
