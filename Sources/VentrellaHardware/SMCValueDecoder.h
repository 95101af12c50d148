#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ventrella::hardware {

// Turns the raw bytes of an SMC key into a number, by the key's four-character data type.
struct SMCValueDecoder {
    // Throws SMCReadValidationError. `key` only names the key in errors; `size` is the key's data
    // size; without a data type, 2 bytes read as "fpe2" and 4 bytes as "flt ".
    static double floatValue(const std::string& key, const std::vector<std::uint8_t>& bytes,
                             std::uint32_t size, const std::optional<std::string>& dataType);
};

}  // namespace ventrella::hardware
