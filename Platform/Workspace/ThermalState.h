#pragma once

#include <optional>
#include <string_view>

namespace platform::workspace {

// How hard the system is working to keep itself cool, least to most; later states compare
// greater.
enum class ThermalState { nominal, fair, serious, critical };

// "nominal", "fair", "serious", "critical".
std::string_view thermalStateName(ThermalState state);
// The state of that name; nothing for any other text.
std::optional<ThermalState> thermalStateNamed(std::string_view name);

}  // namespace platform::workspace
