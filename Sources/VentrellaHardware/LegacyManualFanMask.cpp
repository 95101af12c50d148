#include "VentrellaHardware/LegacyManualFanMask.h"

#include "VentrellaHardware/SMCReadValidationError.h"

namespace ventrella::hardware {

namespace {

constexpr int maskBits = 16;
constexpr const char* maskKey = "FS! ";

}  // namespace

bool LegacyManualFanMask::isManual(int fanID, std::uint16_t mask) {
    return fanID >= 0 && fanID < maskBits && (mask >> fanID & 1U) != 0;
}

std::uint16_t LegacyManualFanMask::enabling(int fanID, std::uint16_t mask) {
    if (fanID < 0 || fanID >= maskBits) {
        throw SMCReadValidationError::invalidManualMask(maskKey);
    }
    return static_cast<std::uint16_t>(mask | (1U << fanID));
}

std::uint16_t LegacyManualFanMask::restoringAutomatic(int fanCount, std::uint16_t mask) {
    // A negative count is as meaningless as one above 16, and shifting by it is undefined.
    if (fanCount < 0 || fanCount > maskBits) {
        throw SMCReadValidationError::invalidFanCount(fanCount);
    }
    const std::uint32_t cleared = (1U << fanCount) - 1U;
    return static_cast<std::uint16_t>(mask & ~cleared);
}

}  // namespace ventrella::hardware
