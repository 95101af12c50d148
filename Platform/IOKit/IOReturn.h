#pragma once

#include <cstdint>

namespace platform::iokit {

// A kernel/IOKit return code: 0 is success, failures have the top bit set.
using KernReturn = std::int32_t;

constexpr KernReturn kernSuccess = 0;
constexpr KernReturn ioReturnGeneralError = static_cast<KernReturn>(0xe00002bcu);
constexpr KernReturn ioReturnNoDevice = static_cast<KernReturn>(0xe00002c0u);
constexpr KernReturn ioReturnNotPrivileged = static_cast<KernReturn>(0xe00002c1u);
constexpr KernReturn ioReturnBadArgument = static_cast<KernReturn>(0xe00002c2u);
constexpr KernReturn ioReturnExclusiveAccess = static_cast<KernReturn>(0xe00002c5u);
constexpr KernReturn ioReturnNotOpen = static_cast<KernReturn>(0xe00002cdu);
constexpr KernReturn ioReturnNotResponding = static_cast<KernReturn>(0xe00002edu);
constexpr KernReturn ioReturnNotFound = static_cast<KernReturn>(0xe00002f0u);
// Fewer bytes came back than the call needs.
constexpr KernReturn ioReturnUnderrun = static_cast<KernReturn>(0xe00002e8u);

}  // namespace platform::iokit
