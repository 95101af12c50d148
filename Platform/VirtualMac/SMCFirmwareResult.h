#pragma once

#include <cstdint>

namespace virtualmac::smcresult {

// Result bytes the SMC firmware puts into a call record.
constexpr std::uint8_t success = 0x00;
constexpr std::uint8_t error = 0x01;
constexpr std::uint8_t badCommand = 0x82;
constexpr std::uint8_t badParameter = 0x83;
constexpr std::uint8_t notFound = 0x84;
constexpr std::uint8_t notReadable = 0x85;
constexpr std::uint8_t notWritable = 0x86;
constexpr std::uint8_t keySizeMismatch = 0x87;
constexpr std::uint8_t badArgumentError = 0x89;

}  // namespace virtualmac::smcresult

namespace virtualmac::smccommand {

constexpr std::uint32_t selector = 2;
constexpr std::uint8_t readBytes = 5;
constexpr std::uint8_t writeBytes = 6;
constexpr std::uint8_t readIndex = 8;
constexpr std::uint8_t readKeyInfo = 9;

}  // namespace virtualmac::smccommand
