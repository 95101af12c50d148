#pragma once

#include <string>
#include <vector>

namespace ventrella::smc {

// Readers that can list the SMC's keys; never throws (an empty list on failure).
class SMCKeyEnumerating {
  public:
    virtual ~SMCKeyEnumerating() = default;
    virtual std::vector<std::string> enumerateKeys() = 0;
};

}  // namespace ventrella::smc
