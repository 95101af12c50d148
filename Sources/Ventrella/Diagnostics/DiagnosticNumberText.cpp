#include "Ventrella/Diagnostics/DiagnosticNumberText.h"

#include <array>
#include <charconv>
#include <cmath>

namespace ventrella::diagnostics {

namespace {

// Sign, 309 integer digits, the point, the decimals and some room.
using Buffer = std::array<char, 400>;

std::string nonFiniteText(double value) {
    if (std::isnan(value)) {
        return "nan";
    }
    return value < 0 ? "-inf" : "inf";
}

}  // namespace

std::string oneDecimalText(double value) {
    if (!std::isfinite(value)) {
        return nonFiniteText(value);
    }
    Buffer buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, 1);
    return std::string(buffer.data(), result.ptr);
}

std::string shortestDecimalText(double value) {
    if (!std::isfinite(value)) {
        return nonFiniteText(value);
    }
    // Plain digits between 1e-4 and 2^53, an exponent beyond: 100000 stays "100000.0" rather
    // than the equally short "1e+05".
    const double magnitude = std::fabs(value);
    const bool plain = magnitude == 0 || (magnitude >= 1e-4 && magnitude < 0x1p53);
    Buffer buffer{};
    const auto result =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                      plain ? std::chars_format::fixed : std::chars_format::scientific);
    std::string text(buffer.data(), result.ptr);
    if (text.find_first_of(".e") == std::string::npos) {
        text.append(".0");
    }
    return text;
}

}  // namespace ventrella::diagnostics
