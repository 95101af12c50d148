#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ventrella::smc {

// A key's data bytes (at most 32) and its reported data size.
struct SMCKeyValue {
    std::vector<std::uint8_t> bytes;
    std::uint32_t size = 0;

    bool operator==(const SMCKeyValue&) const = default;
};

class SMCKeyReading {
  public:
    virtual ~SMCKeyReading() = default;
    virtual SMCKeyValue readKey(const std::string& key) = 0;
};

}  // namespace ventrella::smc
