#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace virtualmac {

// The simulated SMC's own reading of the 80-byte call record, by byte offsets. It shares no
// code with the client's struct so that a layout fault cannot hide on both sides.
struct SMCCallRecord {
    static constexpr std::size_t size = 80;
    static constexpr std::size_t keyOffset = 0;
    static constexpr std::size_t dataSizeOffset = 28;
    static constexpr std::size_t dataTypeOffset = 32;
    static constexpr std::size_t dataAttributesOffset = 36;
    static constexpr std::size_t resultOffset = 40;
    static constexpr std::size_t statusOffset = 41;
    static constexpr std::size_t commandOffset = 42;
    static constexpr std::size_t data32Offset = 44;
    static constexpr std::size_t bytesOffset = 48;
    static constexpr std::size_t bytesCapacity = 32;

    std::uint32_t key = 0;
    std::uint32_t dataSize = 0;
    std::uint32_t dataType = 0;
    std::uint8_t dataAttributes = 0;
    std::uint8_t result = 0;
    std::uint8_t status = 0;
    std::uint8_t command = 0;
    std::uint32_t data32 = 0;
    std::array<std::uint8_t, bytesCapacity> bytes{};

    static SMCCallRecord decode(std::span<const std::uint8_t, size> raw);
    // Every byte not named above (version, power limits, padding) is zero.
    std::array<std::uint8_t, size> encode() const;
};

// Four-character codes: first character in the most significant byte.
std::uint32_t smcCode(const std::string& text);
std::string smcText(std::uint32_t code);

}  // namespace virtualmac
