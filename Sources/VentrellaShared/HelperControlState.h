#pragma once

#include <optional>
#include <string_view>

namespace ventrella::shared {

// The engine reports only `automatic` or `manual`; `fault` is vocabulary the app may receive.
enum class HelperControlState { automatic, manual, fault };

std::string_view toString(HelperControlState state);
std::optional<HelperControlState> parseHelperControlState(std::string_view raw);

}  // namespace ventrella::shared
