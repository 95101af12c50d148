#include "Platform/Workspace/ThermalState.h"

#include <array>
#include <utility>

namespace platform::workspace {

namespace {

constexpr std::array<std::pair<ThermalState, std::string_view>, 4> kNames{{
    {ThermalState::nominal, "nominal"},
    {ThermalState::fair, "fair"},
    {ThermalState::serious, "serious"},
    {ThermalState::critical, "critical"},
}};

}  // namespace

std::string_view thermalStateName(ThermalState state) {
    for (const auto& [candidate, name] : kNames) {
        if (candidate == state) {
            return name;
        }
    }
    return "unknown";
}

std::optional<ThermalState> thermalStateNamed(std::string_view name) {
    for (const auto& [state, candidate] : kNames) {
        if (candidate == name) {
            return state;
        }
    }
    return std::nullopt;
}

}  // namespace platform::workspace
