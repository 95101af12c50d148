#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "VentrellaShared/FanControlResult.h"
#include "VentrellaShared/FanInfo.h"
#include "VentrellaShared/HardwareCapabilities.h"
#include "VentrellaShared/HelperReply.h"
#include "VentrellaShared/HelperStatus.h"

// JSON form of the records exchanged between the app and the helper.
//
// Keys are written in field order, absent optionals are left out, enumerations travel as their
// raw strings. Reading is strict: a missing required key, a value of the wrong JSON type (an
// integer field also refuses a number with a fraction part or written as "1.0"), or an unknown
// enumeration string fails the whole decode. `null` reads as absent; unknown keys are ignored.
// A NaN or infinite RPM cannot be encoded: JSON has no such number, and writing `null` instead
// would give the app a reply it cannot decode.
namespace ventrella::shared {

class HelperContractDecodingError : public std::exception {
  public:
    explicit HelperContractDecodingError(std::string detail) : detail_(std::move(detail)) {}
    const char* what() const noexcept override { return detail_.c_str(); }
    bool operator==(const HelperContractDecodingError& other) const {
        return detail_ == other.detail_;
    }

  private:
    std::string detail_;
};

class HelperContractEncodingError : public std::exception {
  public:
    explicit HelperContractEncodingError(std::string detail) : detail_(std::move(detail)) {}
    const char* what() const noexcept override { return detail_.c_str(); }
    bool operator==(const HelperContractEncodingError& other) const {
        return detail_ == other.detail_;
    }

  private:
    std::string detail_;
};

using Bytes = std::vector<std::uint8_t>;

nlohmann::ordered_json toJSON(const FanInfo& fan);
nlohmann::ordered_json toJSON(const HardwareCapabilities& capabilities);
nlohmann::ordered_json toJSON(const HelperStatus& status);
nlohmann::ordered_json toJSON(const FanControlResult& result);
nlohmann::ordered_json toJSON(const HelperReply<HelperStatus>& reply);
nlohmann::ordered_json toJSON(const HelperReply<FanControlResult>& reply);

FanInfo fanInfoFromJSON(const nlohmann::ordered_json& json);
HardwareCapabilities hardwareCapabilitiesFromJSON(const nlohmann::ordered_json& json);
HelperStatus helperStatusFromJSON(const nlohmann::ordered_json& json);
FanControlResult fanControlResultFromJSON(const nlohmann::ordered_json& json);

// Compact UTF-8 JSON, as sent in a reply block. Throws HelperContractEncodingError.
Bytes encodeHelperReply(const HelperReply<HelperStatus>& reply);
Bytes encodeHelperReply(const HelperReply<FanControlResult>& reply);
std::string encodeHardwareCapabilities(const HardwareCapabilities& capabilities);

// Throws HelperContractDecodingError.
HelperReply<HelperStatus> decodeHelperStatusReply(std::span<const std::uint8_t> bytes);
HelperReply<FanControlResult> decodeFanControlResultReply(std::span<const std::uint8_t> bytes);
HardwareCapabilities decodeHardwareCapabilities(std::string_view text);

}  // namespace ventrella::shared
