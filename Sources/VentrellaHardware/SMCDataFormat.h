#pragma once

#include <cstdint>
#include <vector>

namespace ventrella::hardware {

// Older, narrower converters; kept for compatibility, the readers use SMCValueDecoder and
// SMCValueEncoder instead.
struct SMCDataFormat {
    // The first byte; 0 for no bytes.
    static std::uint8_t uint8(const std::vector<std::uint8_t>& bytes);
    // The first 2 or 4 bytes, most significant first; 0 when fewer are given.
    static std::uint16_t uint16(const std::vector<std::uint8_t>& bytes);
    static std::uint32_t uint32(const std::vector<std::uint8_t>& bytes);
    // Size 4 with at least 4 bytes: a little-endian float; fewer than 2 bytes: 0; otherwise the
    // "fpe2" reading of the first two bytes.
    static float floatValue(const std::vector<std::uint8_t>& bytes, std::uint32_t size);
    // `size` bytes: size 4 holds the little-endian float, other sizes value × 4 truncated, high
    // byte first, then zeros. Throws std::out_of_range for a size below 2 (other than 4) or a
    // value whose 16-bit form does not fit.
    static std::vector<std::uint8_t> bytes(float value, std::uint32_t size);
};

}  // namespace ventrella::hardware
