#pragma once

#include <array>
#include <concepts>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/FormatArgument.h"
#include "Platform/Foundation/Locale.h"

namespace platform::foundation {

// printf-style formatting under a locale that never reads past its arguments.
//
// Placeholders: "%@" (text), "%d", "%ld", "%lld" (integer), "%f", "%.Nf" (number, N up to 20)
// and "%%"; each may name its argument by position ("%2$@", "%1$.1f"), in which case every
// placeholder of the format must. A format fits its arguments when every argument is used, each
// by placeholders of its own kind, and no placeholder names an argument that is not there.
// Numbers are written by LocaleNumberFormatter.
class StringFormatter {
  public:
    explicit StringFormatter(Locale locale) : locale_(std::move(locale)) {}

    // The kinds of the arguments the format takes, first argument first; absent when the format
    // is malformed (an unknown placeholder, a lone "%", positions mixed with plain placeholders,
    // a position left unused, or one argument taken as two kinds).
    static std::optional<std::vector<FormatArgumentKind>> argumentKinds(std::string_view format);

    // The filled text, or absent when the format is malformed or does not fit the arguments.
    std::optional<std::string> format(std::string_view format,
                                      std::span<const FormatArgument> arguments) const;

    template <class... Arguments>
    requires(std::constructible_from<FormatArgument, const Arguments&>&&...)
        std::optional<std::string> format(std::string_view text, const Arguments&... arguments)
    const {
        const std::array<FormatArgument, sizeof...(Arguments)> list{FormatArgument(arguments)...};
        return format(text, std::span<const FormatArgument>(list));
    }

    const Locale& locale() const { return locale_; }

  private:
    Locale locale_;
};

}  // namespace platform::foundation
