#pragma once

#include <cstdint>

namespace ventrella::smc {

// The command placed in the record's data8 byte.
enum class SMCCommand : std::uint8_t {
    kernelIndex = 2,  // also the struct-method selector of every call
    readBytes = 5,
    writeBytes = 6,
    readIndex = 8,
    readKeyInfo = 9,
};

}  // namespace ventrella::smc
