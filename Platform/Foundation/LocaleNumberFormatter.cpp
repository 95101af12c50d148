#include "Platform/Foundation/LocaleNumberFormatter.h"

#include <algorithm>
#include <charconv>

#include <unicode/dcfmtsym.h>
#include <unicode/locid.h>

namespace platform::foundation {

namespace {

std::string utf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

}  // namespace

// The separator is constructed, not assigned: assigning a literal to it makes g++ 12 warn
// (wrongly) of overlapping copies.
LocaleNumberFormatter::LocaleNumberFormatter(const Locale& locale) : decimalSeparator_(".") {
    for (std::size_t i = 0; i < digits_.size(); ++i) {
        digits_[i] = std::string(1, static_cast<char>('0' + i));
    }

    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale icuLocale = icu::Locale::forLanguageTag(locale.identifier(), status);
    if (U_FAILURE(status) || icuLocale.isBogus()) {
        return;
    }
    const icu::DecimalFormatSymbols symbols(icuLocale, status);
    if (U_FAILURE(status)) {
        return;
    }
    using Symbol = icu::DecimalFormatSymbols::ENumberFormatSymbol;
    static constexpr std::array<Symbol, 10> digitSymbols = {
        icu::DecimalFormatSymbols::kZeroDigitSymbol,  icu::DecimalFormatSymbols::kOneDigitSymbol,
        icu::DecimalFormatSymbols::kTwoDigitSymbol,   icu::DecimalFormatSymbols::kThreeDigitSymbol,
        icu::DecimalFormatSymbols::kFourDigitSymbol,  icu::DecimalFormatSymbols::kFiveDigitSymbol,
        icu::DecimalFormatSymbols::kSixDigitSymbol,   icu::DecimalFormatSymbols::kSevenDigitSymbol,
        icu::DecimalFormatSymbols::kEightDigitSymbol, icu::DecimalFormatSymbols::kNineDigitSymbol,
    };
    for (std::size_t i = 0; i < digits_.size(); ++i) {
        auto digit = utf8(symbols.getConstSymbol(digitSymbols[i]));
        if (!digit.empty()) {
            digits_[i] = std::move(digit);
        }
    }
    auto separator =
        utf8(symbols.getConstSymbol(icu::DecimalFormatSymbols::kDecimalSeparatorSymbol));
    if (!separator.empty()) {
        decimalSeparator_ = std::move(separator);
    }
}

std::string LocaleNumberFormatter::integer(std::int64_t value) const {
    std::array<char, 24> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return localised(std::string_view(buffer.data(), result.ptr));
}

std::string LocaleNumberFormatter::decimal(double value, int fractionDigits) const {
    fractionDigits = std::clamp(fractionDigits, 0, maximumFractionDigits);
    // The longest fixed text of a double: sign, 309 integer digits, point, the fraction digits.
    std::array<char, 1 + 309 + 1 + maximumFractionDigits + 8> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, fractionDigits);
    if (result.ec != std::errc()) {
        return {};  // not reached: the buffer holds every double
    }
    return localised(std::string_view(buffer.data(), result.ptr));
}

std::string LocaleNumberFormatter::localised(std::string_view plain) const {
    std::string text;
    text.reserve(plain.size() * 2);
    for (char c : plain) {
        if (c >= '0' && c <= '9') {
            text += digits_[static_cast<std::size_t>(c - '0')];
        } else if (c == '.') {
            text += decimalSeparator_;
        } else {
            text += c;
        }
    }
    return text;
}

}  // namespace platform::foundation
