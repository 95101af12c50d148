#pragma once

#include <optional>
#include <string_view>

namespace ventrella::shared {

// `unknown` means no control mechanism was found to read the mode from; it never counts as
// Apple Automatic.
enum class FanControlMode { automatic, manual, unknown };

std::string_view toString(FanControlMode mode);
std::optional<FanControlMode> parseFanControlMode(std::string_view raw);

}  // namespace ventrella::shared
