#pragma once

#include <nlohmann/json.hpp>

#include "Ventrella/Core/FanLevel.h"
#include "Ventrella/Core/FanTarget.h"

// JSON of a level and its target. A target is an object with exactly one of "percentage"
// ({"percentage":{"_0":55}}) and "maximum" ({"maximum":{}}); a level holds every field under its
// name. Decoding throws JSONDecodingError (a missing or `null` field of a level included);
// encoding throws JSONEncodingError for a number that is NaN or infinite.
namespace ventrella::core {

nlohmann::ordered_json toJSON(const FanTarget& target);
FanTarget fanTargetFromJSON(const nlohmann::ordered_json& json);

nlohmann::ordered_json toJSON(const FanLevel& level);
FanLevel fanLevelFromJSON(const nlohmann::ordered_json& json);

}  // namespace ventrella::core
