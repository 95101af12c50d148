#include "Platform/Foundation/UnicodeText.h"

namespace platform::foundation {

namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

// The number of continuation bytes a lead byte announces and the range its first
// continuation byte must lie in (which rules out overlong forms, surrogates and values past
// U+10FFFF); -1 for a byte that cannot start a sequence.
struct Lead {
    int continuationBytes = -1;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
};

Lead leadOf(unsigned char byte) {
    if (byte < 0x80) {
        return {0};
    }
    if (byte >= 0xC2 && byte <= 0xDF) {
        return {1};
    }
    if (byte == 0xE0) {
        return {2, 0xA0, 0xBF};
    }
    if ((byte >= 0xE1 && byte <= 0xEC) || byte == 0xEE || byte == 0xEF) {
        return {2};
    }
    if (byte == 0xED) {
        return {2, 0x80, 0x9F};
    }
    if (byte == 0xF0) {
        return {3, 0x90, 0xBF};
    }
    if (byte >= 0xF1 && byte <= 0xF3) {
        return {3};
    }
    if (byte == 0xF4) {
        return {3, 0x80, 0x8F};
    }
    return {};
}

// Length of the well-formed sequence at `offset`, or the negated length of the maximal
// invalid part there (at least one byte).
long sequenceAt(std::string_view bytes, std::size_t offset) {
    const Lead lead = leadOf(static_cast<unsigned char>(bytes[offset]));
    if (lead.continuationBytes < 0) {
        return -1;
    }
    std::size_t next = offset + 1;
    for (int index = 0; index < lead.continuationBytes; ++index, ++next) {
        const unsigned char low = index == 0 ? lead.low : 0x80;
        const unsigned char high = index == 0 ? lead.high : 0xBF;
        if (next >= bytes.size() || static_cast<unsigned char>(bytes[next]) < low ||
            static_cast<unsigned char>(bytes[next]) > high) {
            return -static_cast<long>(next - offset);
        }
    }
    return static_cast<long>(next - offset);
}

}  // namespace

std::string repairedUTF8(std::string_view bytes) {
    std::string repaired;
    repaired.reserve(bytes.size());
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const long length = sequenceAt(bytes, offset);
        if (length > 0) {
            repaired.append(bytes.substr(offset, static_cast<std::size_t>(length)));
            offset += static_cast<std::size_t>(length);
        } else {
            repaired.append(kReplacementCharacter);
            offset += static_cast<std::size_t>(-length);
        }
    }
    return repaired;
}

bool isValidUTF8(std::string_view bytes) {
    std::size_t offset = 0;
    while (offset < bytes.size()) {
        const long length = sequenceAt(bytes, offset);
        if (length < 0) {
            return false;
        }
        offset += static_cast<std::size_t>(length);
    }
    return true;
}

std::string_view prefixScalars(std::string_view text, std::size_t maximumScalars) {
    std::size_t scalars = 0;
    for (std::size_t offset = 0; offset < text.size(); ++offset) {
        const bool continuation = (static_cast<unsigned char>(text[offset]) & 0xC0) == 0x80;
        if (!continuation && scalars++ == maximumScalars) {
            return text.substr(0, offset);
        }
    }
    return text;
}

}  // namespace platform::foundation
