#include "AppLog/AppLogPrivacy.h"

#include "AppLog/Sha256.h"

namespace ventrella::applog {

std::string lowercaseHex(const unsigned char* bytes, std::size_t count) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t index = 0; index < count; ++index) {
        text.push_back(digits[bytes[index] >> 4]);
        text.push_back(digits[bytes[index] & 0x0f]);
    }
    return text;
}

std::string AppLogPrivacy::render(std::string_view value) const {
    switch (kind_) {
        case Kind::publicValue:
            return std::string(value);
        case Kind::privateValue:
            return "<private>";
        case Kind::privateHash: {
            const auto digest = sha256(value.data(), value.size());
            return "<private:" + lowercaseHex(digest.data(), 4) + ">";
        }
    }
    return "<private>";
}

}  // namespace ventrella::applog
