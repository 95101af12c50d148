#include "VentrellaSecurity/UTF8Text.h"

#include <cstddef>
#include <cstdint>

namespace ventrella::security {

namespace {

constexpr char32_t invalid = 0xFFFFFFFF;

// Decodes the sequence at the start of `text`: the scalar and its length, or `invalid`.
char32_t decode(std::string_view text, std::size_t& length) {
    const auto byte = [&](std::size_t index) { return static_cast<std::uint8_t>(text[index]); };
    length = 1;
    if (text.empty()) {
        return invalid;
    }
    const std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return lead;
    }
    std::size_t count = 0;
    char32_t scalar = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 2;
        scalar = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 3;
        scalar = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 4;
        scalar = lead & 0x07;
        minimum = 0x10000;
    } else {
        return invalid;
    }
    if (text.size() < count) {
        return invalid;
    }
    for (std::size_t index = 1; index < count; ++index) {
        if ((byte(index) & 0xC0) != 0x80) {
            return invalid;
        }
        scalar = scalar << 6 | (byte(index) & 0x3F);
    }
    if (scalar < minimum || scalar > 0x10FFFF || (scalar >= 0xD800 && scalar <= 0xDFFF)) {
        return invalid;
    }
    length = count;
    return scalar;
}

bool isWhitespaceOrNewline(char32_t scalar) {
    return (scalar >= 0x09 && scalar <= 0x0D) || scalar == 0x20 || scalar == 0x85 ||
           scalar == 0xA0 || scalar == 0x1680 || (scalar >= 0x2000 && scalar <= 0x200A) ||
           scalar == 0x2028 || scalar == 0x2029 || scalar == 0x202F || scalar == 0x205F ||
           scalar == 0x3000;
}

}  // namespace

bool UTF8Text::isValid(std::string_view text) {
    while (!text.empty()) {
        std::size_t length = 0;
        if (decode(text, length) == invalid) {
            return false;
        }
        text.remove_prefix(length);
    }
    return true;
}

std::string_view UTF8Text::trimmingWhitespaceAndNewlines(std::string_view text) {
    for (;;) {
        std::size_t length = 0;
        const char32_t scalar = decode(text, length);
        if (scalar == invalid || !isWhitespaceOrNewline(scalar)) {
            break;
        }
        text.remove_prefix(length);
    }
    while (!text.empty()) {
        // The last sequence starts at the last byte that is not a continuation byte.
        std::size_t start = text.size() - 1;
        while (start > 0 && text.size() - start < 4 &&
               (static_cast<std::uint8_t>(text[start]) & 0xC0) == 0x80) {
            --start;
        }
        std::size_t length = 0;
        const char32_t scalar = decode(text.substr(start), length);
        if (scalar == invalid || start + length != text.size() || !isWhitespaceOrNewline(scalar)) {
            break;
        }
        text.remove_suffix(length);
    }
    return text;
}

}  // namespace ventrella::security
