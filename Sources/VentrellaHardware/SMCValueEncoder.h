#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ventrella::hardware {

// Turns a non-negative number back into the bytes of a "flt " or "fpe2" key.
struct SMCValueEncoder {
    // Throws SMCReadValidationError. Without a data type, size 2 encodes as "fpe2" and size 4 as
    // "flt "; a 4-byte value beyond the float range is refused rather than written as infinity.
    static std::vector<std::uint8_t> floatValue(double value, const std::string& key,
                                                std::uint32_t size,
                                                const std::optional<std::string>& dataType);
};

}  // namespace ventrella::hardware
