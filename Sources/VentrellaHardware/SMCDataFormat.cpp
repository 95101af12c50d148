#include "VentrellaHardware/SMCDataFormat.h"

#include <bit>
#include <cmath>
#include <stdexcept>

namespace ventrella::hardware {

std::uint8_t SMCDataFormat::uint8(const std::vector<std::uint8_t>& bytes) {
    return bytes.empty() ? 0 : bytes[0];
}

std::uint16_t SMCDataFormat::uint16(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 2) {
        return 0;
    }
    return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::uint32_t SMCDataFormat::uint32(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 4) {
        return 0;
    }
    return (static_cast<std::uint32_t>(bytes[0]) << 24) |
           (static_cast<std::uint32_t>(bytes[1]) << 16) |
           (static_cast<std::uint32_t>(bytes[2]) << 8) | bytes[3];
}

float SMCDataFormat::floatValue(const std::vector<std::uint8_t>& bytes, std::uint32_t size) {
    if (size == 4 && bytes.size() >= 4) {
        std::uint32_t raw = static_cast<std::uint32_t>(bytes[0]) |
                            (static_cast<std::uint32_t>(bytes[1]) << 8) |
                            (static_cast<std::uint32_t>(bytes[2]) << 16) |
                            (static_cast<std::uint32_t>(bytes[3]) << 24);
        return std::bit_cast<float>(raw);
    }
    if (bytes.size() < 2) {
        return 0;
    }
    return static_cast<float>(uint16(bytes)) / 4.0f;
}

std::vector<std::uint8_t> SMCDataFormat::bytes(float value, std::uint32_t size) {
    if (size == 4) {
        auto raw = std::bit_cast<std::uint32_t>(value);
        return {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
                static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
    }
    if (size < 2) {
        throw std::out_of_range("SMC value size too small for a 16-bit value");
    }
    double scaled = static_cast<double>(value) * 4;
    // NaN fails both comparisons and is refused too.
    if (!(scaled >= 0 && scaled < 65536)) {
        throw std::out_of_range("SMC value outside the 16-bit range");
    }
    auto raw = static_cast<std::uint16_t>(scaled);
    std::vector<std::uint8_t> out(size, 0);
    out[0] = static_cast<std::uint8_t>(raw >> 8);
    out[1] = static_cast<std::uint8_t>(raw);
    return out;
}

}  // namespace ventrella::hardware
