#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Platform/IOKit/UserClientDevice.h"

namespace virtualmac {

// One call the simulated SMC received, for tests to inspect.
struct SMCJournalEntry {
    platform::iokit::ClientID client = 0;
    std::uint32_t selector = 0;
    std::uint8_t command = 0;
    std::string key;                  // the record's key as text
    std::uint32_t index = 0;          // data32, the index of a read-by-index
    std::vector<std::uint8_t> bytes;  // the data bytes of a write (the key's size, at most 32)
    std::uint8_t result = 0;          // firmware result byte returned
    platform::iokit::KernReturn kernReturn = 0;
};

}  // namespace virtualmac
