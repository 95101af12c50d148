#include "SMCKit/SMCError.h"

#include <array>
#include <charconv>

namespace ventrella::smc {

namespace {

std::string describe(SMCError::Kind kind, std::int64_t payload) {
    switch (kind) {
        case SMCError::Kind::firmware:
            return "SMC firmware error: " + description(static_cast<SMCResultCode>(payload));
        case SMCError::Kind::ioKit: {
            std::array<char, 16> hex{};
            const auto pattern = static_cast<std::uint32_t>(static_cast<std::int32_t>(payload));
            const auto end = std::to_chars(hex.data(), hex.data() + hex.size(), pattern, 16).ptr;
            return "IOKit error: 0x" + std::string(hex.data(), end);
        }
        case SMCError::Kind::connectionFailed:
            return "Failed to open AppleSMC";
        case SMCError::Kind::notOpen:
            return "SMC connection not open";
        case SMCError::Kind::timeout:
            return "Operation timed out";
    }
    return "SMC error";
}

}  // namespace

SMCError::SMCError(Kind kind, std::int64_t payload)
    : kind_(kind), payload_(payload), description_(describe(kind, payload)) {}

SMCError SMCError::firmware(SMCResultCode code) {
    return SMCError(Kind::firmware, static_cast<std::int64_t>(code));
}

SMCError SMCError::ioKit(std::int32_t code) {
    return SMCError(Kind::ioKit, code);
}

std::optional<SMCResultCode> SMCError::firmwareCode() const {
    if (kind_ != Kind::firmware) {
        return std::nullopt;
    }
    return static_cast<SMCResultCode>(payload_);
}

std::optional<std::int32_t> SMCError::ioKitCode() const {
    if (kind_ != Kind::ioKit) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(payload_);
}

}  // namespace ventrella::smc
