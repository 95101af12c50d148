#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "Platform/Foundation/Locale.h"

namespace platform::foundation {

// Writes numbers as printf does, with the locale's decimal separator and digits and nothing else
// of the locale: no grouping separators, an ASCII minus sign, and printf's rounding of the binary
// value (0.35 with one decimal is "0.3"). "nan" and "inf" stay as printf writes them.
class LocaleNumberFormatter {
  public:
    explicit LocaleNumberFormatter(const Locale& locale);

    std::string integer(std::int64_t value) const;

    // `fractionDigits` is clamped to 0...maximumFractionDigits.
    std::string decimal(double value, int fractionDigits) const;

    const std::string& decimalSeparator() const { return decimalSeparator_; }

    static constexpr int maximumFractionDigits = 20;

  private:
    std::string localised(std::string_view plain) const;

    std::string decimalSeparator_;
    std::array<std::string, 10> digits_;
};

}  // namespace platform::foundation
