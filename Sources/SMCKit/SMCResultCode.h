#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace ventrella::smc {

// The firmware's result byte of a call.
enum class SMCResultCode : std::uint8_t {
    success = 0x00,
    error = 0x01,
    commCollision = 0x80,
    spuriousData = 0x81,
    badCommand = 0x82,
    badParameter = 0x83,
    notFound = 0x84,
    notReadable = 0x85,
    notWritable = 0x86,
    keySizeMismatch = 0x87,
    framingError = 0x88,
    badArgumentError = 0x89,
};

// The code for a result byte; nullopt for a byte with no name.
std::optional<SMCResultCode> smcResultCode(std::uint8_t raw);

// "notFound (0x84)", "success (0x0)".
std::string description(SMCResultCode code);

}  // namespace ventrella::smc
