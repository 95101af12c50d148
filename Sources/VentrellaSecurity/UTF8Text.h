#pragma once

#include <string_view>

namespace ventrella::security {

// Text checks on UTF-8 that the authorization needs without a full Unicode library.
struct UTF8Text {
    UTF8Text() = delete;

    // True when the bytes are well-formed UTF-8 (no overlong forms, surrogates or values past
    // U+10FFFF).
    static bool isValid(std::string_view text);

    // The text without the white space and line breaks at either end: tab, the line feed to
    // carriage return controls, U+0085 and every space and separator character of Unicode
    // (U+0020, U+00A0, U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F, U+3000).
    // Trimming stops at bytes that are not UTF-8.
    static std::string_view trimmingWhitespaceAndNewlines(std::string_view text);
};

}  // namespace ventrella::security
