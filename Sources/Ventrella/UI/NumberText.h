#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "Platform/Foundation/FormatArgument.h"

namespace ventrella::ui {

// Numbers as the interface shows them, under the interface language's locale (L10n's). Every
// number the views show is written here or by L10n::format, never by the view layer itself.
class NumberText {
  public:
    NumberText() = delete;

    // A pure number format ("%.1f°C", "%.0f°") filled under the locale without looking it up;
    // the pattern itself when it does not fit the arguments.
    template <class... Arguments>
    requires(std::constructible_from<platform::foundation::FormatArgument,
                                     const Arguments&>&&...) static std::string
        formatted(std::string_view pattern, const Arguments&... arguments) {
        const std::array<platform::foundation::FormatArgument, sizeof...(Arguments)> list{
            platform::foundation::FormatArgument(arguments)...};
        return formattedArguments(pattern, list);
    }

    static std::string formattedArguments(
        std::string_view pattern, std::span<const platform::foundation::FormatArgument> arguments);

    // `value` with `fractionDigits` decimals.
    static std::string decimal(double value, int fractionDigits);

    // The whole number toward zero ("80.9" gives 80); NaN gives 0 and values beyond the
    // integer's range its limits.
    static std::int64_t truncated(double value);
};

}  // namespace ventrella::ui
