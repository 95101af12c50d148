#include "Platform/VirtualMac/SimulatedSpeedCodec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace virtualmac {

std::vector<std::uint8_t> encodeSpeed(const std::string& dataType, double rpm) {
    if (dataType == "fpe2") {
        const double quarters = std::isnan(rpm) ? 0.0 : std::round(rpm * 4.0);
        const auto raw = static_cast<std::uint16_t>(std::clamp(quarters, 0.0, 65535.0));
        return {static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw & 0xff)};
    }
    const auto raw = std::bit_cast<std::uint32_t>(static_cast<float>(rpm));
    return {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
            static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
}

double decodeSpeed(const std::string& dataType, const std::vector<std::uint8_t>& bytes) {
    if (dataType == "fpe2" && bytes.size() >= 2) {
        return static_cast<double>(bytes[0] << 8 | bytes[1]) / 4.0;
    }
    if (dataType == "flt " && bytes.size() >= 4) {
        const std::uint32_t raw =
            static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
            static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
        return static_cast<double>(std::bit_cast<float>(raw));
    }
    return std::numeric_limits<double>::quiet_NaN();
}

}  // namespace virtualmac
