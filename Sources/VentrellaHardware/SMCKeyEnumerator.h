#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ventrella::hardware {

// Lists every key the SMC holds, by index, on a user client of its own (opened at
// construction, closed at destruction). Writes no log lines of its own.
class SMCKeyEnumerator {
  public:
    // "#KEY" counts outside 1 to this bound are treated as unreadable.
    static constexpr std::uint32_t maximumKeyCount = 65536;

    SMCKeyEnumerator();  // throws SMCError::connectionFailed
    ~SMCKeyEnumerator();
    SMCKeyEnumerator(const SMCKeyEnumerator&) = delete;
    SMCKeyEnumerator& operator=(const SMCKeyEnumerator&) = delete;

    std::uint32_t connection() const { return connection_; }

    // Every readable key name once, in ordinal order; empty or shorter on failures, never
    // throws. Makes one SMC call per index on the caller's thread.
    std::vector<std::string> enumerateKeys() const;

  private:
    std::uint32_t connection_ = 0;
};

}  // namespace ventrella::hardware
