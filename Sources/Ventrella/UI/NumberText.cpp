#include "Ventrella/UI/NumberText.h"

#include <cmath>
#include <limits>

#include "Platform/Foundation/LocaleNumberFormatter.h"
#include "Platform/Foundation/StringFormatter.h"
#include "Ventrella/Core/L10n.h"

namespace ventrella::ui {

std::string NumberText::formattedArguments(
    std::string_view pattern, std::span<const platform::foundation::FormatArgument> arguments) {
    const platform::foundation::StringFormatter formatter(core::L10n::locale());
    return formatter.format(pattern, arguments).value_or(std::string(pattern));
}

std::string NumberText::decimal(double value, int fractionDigits) {
    return platform::foundation::LocaleNumberFormatter(core::L10n::locale())
        .decimal(value, fractionDigits);
}

std::int64_t NumberText::truncated(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    // 2^63 is exact in a double; anything at or beyond it does not fit.
    constexpr double limit = 9223372036854775808.0;
    if (value >= limit) {
        return std::numeric_limits<std::int64_t>::max();
    }
    if (value < -limit) {
        return std::numeric_limits<std::int64_t>::min();
    }
    return static_cast<std::int64_t>(std::trunc(value));
}

}  // namespace ventrella::ui
