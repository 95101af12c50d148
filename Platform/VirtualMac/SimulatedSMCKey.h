#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace virtualmac {

// One key of the simulated SMC: its data type, its bytes (their count is the key's size) and
// whether clients may read and write it.
struct SimulatedSMCKey {
    static constexpr std::uint8_t readableAttribute = 0x80;
    static constexpr std::uint8_t writableAttribute = 0x40;

    std::string dataType;
    std::vector<std::uint8_t> bytes;
    bool readable = true;
    bool writable = false;

    std::uint8_t attributes() const {
        return static_cast<std::uint8_t>((readable ? readableAttribute : 0) |
                                         (writable ? writableAttribute : 0));
    }
};

}  // namespace virtualmac
