#include "SMCKit/SMCResultCode.h"

#include <array>
#include <charconv>

namespace ventrella::smc {

namespace {

const char* caseName(SMCResultCode code) {
    switch (code) {
        case SMCResultCode::success:
            return "success";
        case SMCResultCode::error:
            return "error";
        case SMCResultCode::commCollision:
            return "commCollision";
        case SMCResultCode::spuriousData:
            return "spuriousData";
        case SMCResultCode::badCommand:
            return "badCommand";
        case SMCResultCode::badParameter:
            return "badParameter";
        case SMCResultCode::notFound:
            return "notFound";
        case SMCResultCode::notReadable:
            return "notReadable";
        case SMCResultCode::notWritable:
            return "notWritable";
        case SMCResultCode::keySizeMismatch:
            return "keySizeMismatch";
        case SMCResultCode::framingError:
            return "framingError";
        case SMCResultCode::badArgumentError:
            return "badArgumentError";
    }
    return "unknown";
}

}  // namespace

std::optional<SMCResultCode> smcResultCode(std::uint8_t raw) {
    switch (raw) {
        case 0x00:
        case 0x01:
        case 0x80:
        case 0x81:
        case 0x82:
        case 0x83:
        case 0x84:
        case 0x85:
        case 0x86:
        case 0x87:
        case 0x88:
        case 0x89:
            return static_cast<SMCResultCode>(raw);
        default:
            return std::nullopt;
    }
}

std::string description(SMCResultCode code) {
    std::array<char, 8> hex{};
    const auto end =
        std::to_chars(hex.data(), hex.data() + hex.size(), static_cast<unsigned>(code), 16).ptr;
    return std::string(caseName(code)) + " (0x" + std::string(hex.data(), end) + ")";
}

}  // namespace ventrella::smc
