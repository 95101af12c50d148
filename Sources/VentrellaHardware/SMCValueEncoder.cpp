#include "VentrellaHardware/SMCValueEncoder.h"

#include <bit>
#include <cmath>

#include "VentrellaHardware/SMCReadValidationError.h"

namespace ventrella::hardware {

namespace {

constexpr double largestFloat = 3.4028234663852886e38;
constexpr double largestFpe2 = 16383.75;

std::vector<std::uint8_t> encodeFloat(double value) {
    auto raw = std::bit_cast<std::uint32_t>(static_cast<float>(value));
    return {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
            static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
}

std::vector<std::uint8_t> encodeFpe2(double value) {
    // std::round rounds halves away from zero: 4000.5 becomes 4001.
    auto raw = static_cast<std::uint16_t>(std::round(value * 4));
    return {static_cast<std::uint8_t>(raw >> 8), static_cast<std::uint8_t>(raw)};
}

}  // namespace

std::vector<std::uint8_t> SMCValueEncoder::floatValue(double value, const std::string& key,
                                                      std::uint32_t size,
                                                      const std::optional<std::string>& dataType) {
    if (!std::isfinite(value) || value < 0) {
        throw SMCReadValidationError::valueCannotBeEncoded(key, value,
                                                           dataType.value_or("unknown"));
    }
    if (value == 0) {
        value = 0;  // negative zero is written as plain zero
    }
    if (dataType) {
        if (*dataType == "flt ") {
            if (size != 4 || value > largestFloat) {
                throw SMCReadValidationError::valueCannotBeEncoded(key, value, "flt ");
            }
            return encodeFloat(value);
        }
        if (*dataType == "fpe2") {
            if (size != 2 || value > largestFpe2) {
                throw SMCReadValidationError::valueCannotBeEncoded(key, value, "fpe2");
            }
            return encodeFpe2(value);
        }
        throw SMCReadValidationError::unsupportedDataType(key, *dataType);
    }
    if (size == 2 && value <= largestFpe2) {
        return encodeFpe2(value);
    }
    if (size == 4) {
        if (value > largestFloat) {
            throw SMCReadValidationError::valueCannotBeEncoded(key, value, "flt ");
        }
        return encodeFloat(value);
    }
    throw SMCReadValidationError::unsupportedDataType(key, "unknown");
}

}  // namespace ventrella::hardware
