#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "SMCFanKit/SensorKey.h"

namespace ventrella::hardware {

// An Apple silicon generation; stored and sent as its raw integer.
enum class AppleChipGeneration : int { m1 = 1, m2 = 2, m3 = 3, m4 = 4, m5 = 5 };

constexpr int rawValue(AppleChipGeneration generation) {
    return static_cast<int>(generation);
}

// 1 to 5, else none.
std::optional<AppleChipGeneration> fromRawValue(int rawValue);

// Recognises the generation from a processor brand text such as "Apple M4 Pro".
// Text that does not start with the word "apple" (an Intel brand, say) gives none.
std::optional<AppleChipGeneration> fromBrandString(std::string_view brandString);

// The generation's sensor list followed by the whole cross-platform list.
std::vector<fan::SensorKey> sensors(AppleChipGeneration generation);

}  // namespace ventrella::hardware
