#pragma once

#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Ventrella/Core/GuardSettings.h"

// The stored form of the guard settings: one object keyed by the field names, enumerations as
// their raw strings.
//
// Decoding tolerates what older or hand-edited settings hold: every key is optional and `null`
// counts as absent (both give the fresh value), an unknown "appLanguage" gives `system`, a
// "pollIntervalSeconds" above 5 becomes 5, and without "boostPercent" an old "boostRPM" speed is
// converted to a percentage. It throws JSONDecodingError for a document that is not an object,
// a value of the wrong JSON type, and an unknown source or aggregation. It does not validate.
//
// Encoding writes all fifteen fields and never "boostRPM"; it throws JSONEncodingError for a
// number that is NaN or infinite.
namespace ventrella::core {

nlohmann::ordered_json toJSON(const GuardSettings& settings);
GuardSettings guardSettingsFromJSON(const nlohmann::ordered_json& json);

std::string encodeGuardSettings(const GuardSettings& settings);
GuardSettings decodeGuardSettings(std::string_view text);

}  // namespace ventrella::core
