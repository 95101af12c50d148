#pragma once

#include <cstdint>
#include <string>

namespace ventrella::smc {

// What is known of a key without reading it.
struct SMCKeyMetadata {
    std::uint32_t size = 0;
    std::string dataType;  // four characters, such as "flt " or "ui8 "
    std::uint8_t attributes = 0;

    bool operator==(const SMCKeyMetadata&) const = default;
};

}  // namespace ventrella::smc
