#include "SMCKit/FourCharCode.h"

#include <array>

#include "SMCKit/SMCError.h"

namespace ventrella::smc {

namespace {

std::array<std::uint8_t, 4> codeBytes(std::uint32_t code) {
    return {static_cast<std::uint8_t>(code >> 24), static_cast<std::uint8_t>(code >> 16),
            static_cast<std::uint8_t>(code >> 8), static_cast<std::uint8_t>(code)};
}

void appendScalar(std::string& text, std::uint32_t scalar) {
    if (scalar < 0x80) {
        text.push_back(static_cast<char>(scalar));
    } else if (scalar < 0x800) {
        text.push_back(static_cast<char>(0xc0 | (scalar >> 6)));
        text.push_back(static_cast<char>(0x80 | (scalar & 0x3f)));
    } else {
        text.push_back(static_cast<char>(0xe0 | (scalar >> 12)));
        text.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3f)));
        text.push_back(static_cast<char>(0x80 | (scalar & 0x3f)));
    }
}

// Length of the valid UTF-8 sequence starting at `index`, or 0 when it is not valid.
std::size_t validSequenceLength(const std::array<std::uint8_t, 4>& bytes, std::size_t index) {
    const std::uint8_t lead = bytes[index];
    std::size_t length = 0;
    std::uint32_t scalar = 0;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        scalar = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        scalar = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        scalar = lead & 0x07;
    } else {
        return 0;
    }
    if (index + length > bytes.size()) {
        return 0;
    }
    for (std::size_t offset = 1; offset < length; ++offset) {
        const std::uint8_t next = bytes[index + offset];
        if ((next & 0xc0) != 0x80) {
            return 0;
        }
        scalar = (scalar << 6) | (next & 0x3f);
    }
    const bool overlong = (length == 3 && scalar < 0x800) || (length == 4 && scalar < 0x10000);
    const bool surrogate = scalar >= 0xd800 && scalar <= 0xdfff;
    if (overlong || surrogate || scalar > 0x10ffff) {
        return 0;
    }
    return length;
}

}  // namespace

std::uint32_t fourCharCode(std::string_view text) {
    if (text.size() != 4) {
        throw SMCError::firmware(SMCResultCode::badParameter);
    }
    std::uint32_t code = 0;
    for (const char character : text) {
        code = (code << 8) | static_cast<std::uint8_t>(character);
    }
    return code;
}

std::string fourCharASCII(std::uint32_t code) {
    std::string text;
    for (const auto byte : codeBytes(code)) {
        if (byte >= 0x80) {
            return "????";
        }
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

std::string fourCharUTF8(std::uint32_t code) {
    const auto bytes = codeBytes(code);
    std::string text;
    std::size_t index = 0;
    while (index < bytes.size()) {
        const auto length = validSequenceLength(bytes, index);
        if (length == 0) {
            appendScalar(text, 0xfffd);
            ++index;
        } else {
            text.append(reinterpret_cast<const char*>(bytes.data() + index), length);
            index += length;
        }
    }
    return text;
}

std::string fourCharScalars(std::uint32_t code) {
    std::string text;
    for (const auto byte : codeBytes(code)) {
        appendScalar(text, byte);
    }
    return text;
}

}  // namespace ventrella::smc
