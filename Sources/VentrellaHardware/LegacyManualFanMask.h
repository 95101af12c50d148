#pragma once

#include <cstdint>

namespace ventrella::hardware {

// The 16-bit "FS! " mask of Macs without per-fan mode keys: bit n set means fan n is in
// manual mode.
struct LegacyManualFanMask {
    // True when the id is 0 to 15 and its bit is set.
    static bool isManual(int fanID, std::uint16_t mask);
    // The mask with the fan's bit set; an id outside 0 to 15 throws invalidManualMask("FS! ").
    static std::uint16_t enabling(int fanID, std::uint16_t mask);
    // The mask with its lowest `fanCount` bits cleared; a count outside 0 to 16 throws
    // invalidFanCount.
    static std::uint16_t restoringAutomatic(int fanCount, std::uint16_t mask);
};

}  // namespace ventrella::hardware
