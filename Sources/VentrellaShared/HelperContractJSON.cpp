#include "VentrellaShared/HelperContractJSON.h"

#include <cmath>
#include <limits>
#include <optional>

namespace ventrella::shared {

namespace {

using Json = nlohmann::ordered_json;

[[noreturn]] void decodingFails(const std::string& detail) {
    throw HelperContractDecodingError("The helper data could not be decoded: " + detail);
}

std::string inQuotes(std::string_view key) {
    return "\"" + std::string(key) + "\"";
}

const Json& requireObject(const Json& json, std::string_view what) {
    if (!json.is_object()) {
        decodingFails(std::string(what) + " is not an object.");
    }
    return json;
}

// Absent and null both read as "no value".
const Json* optionalValue(const Json& object, std::string_view key) {
    auto found = object.find(key);
    if (found == object.end() || found->is_null()) {
        return nullptr;
    }
    return &*found;
}

const Json& requiredValue(const Json& object, std::string_view key) {
    const Json* value = optionalValue(object, key);
    if (value == nullptr) {
        decodingFails("key " + inQuotes(key) + " is missing.");
    }
    return *value;
}

std::int64_t readInteger(const Json& value, std::string_view key) {
    // A number with a fraction part (or written as 1.0) is refused rather than truncated.
    if (value.is_number_unsigned()) {
        auto unsignedValue = value.get<std::uint64_t>();
        if (unsignedValue > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            decodingFails("key " + inQuotes(key) + " is out of range.");
        }
        return static_cast<std::int64_t>(unsignedValue);
    }
    if (!value.is_number_integer()) {
        decodingFails("key " + inQuotes(key) + " is not an integer.");
    }
    return value.get<std::int64_t>();
}

double readDouble(const Json& value, std::string_view key) {
    if (!value.is_number()) {
        decodingFails("key " + inQuotes(key) + " is not a number.");
    }
    return value.get<double>();
}

bool readBool(const Json& value, std::string_view key) {
    if (!value.is_boolean()) {
        decodingFails("key " + inQuotes(key) + " is not a boolean.");
    }
    return value.get<bool>();
}

std::string readString(const Json& value, std::string_view key) {
    if (!value.is_string()) {
        decodingFails("key " + inQuotes(key) + " is not a string.");
    }
    return value.get<std::string>();
}

std::int64_t requiredInteger(const Json& object, std::string_view key) {
    return readInteger(requiredValue(object, key), key);
}

double requiredDouble(const Json& object, std::string_view key) {
    return readDouble(requiredValue(object, key), key);
}

std::optional<std::int64_t> optionalInteger(const Json& object, std::string_view key) {
    const Json* value = optionalValue(object, key);
    return value ? std::optional(readInteger(*value, key)) : std::nullopt;
}

std::optional<std::string> optionalString(const Json& object, std::string_view key) {
    const Json* value = optionalValue(object, key);
    return value ? std::optional(readString(*value, key)) : std::nullopt;
}

HelperControlState requiredState(const Json& object) {
    auto raw = readString(requiredValue(object, "state"), "state");
    auto state = parseHelperControlState(raw);
    if (!state) {
        decodingFails("unknown control state " + inQuotes(raw) + ".");
    }
    return *state;
}

std::vector<FanInfo> requiredFans(const Json& object) {
    const Json& fans = requiredValue(object, "fans");
    if (!fans.is_array()) {
        decodingFails("key \"fans\" is not an array.");
    }
    std::vector<FanInfo> result;
    result.reserve(fans.size());
    for (const Json& fan : fans) {
        result.push_back(fanInfoFromJSON(fan));
    }
    return result;
}

Json finiteNumber(double value) {
    if (!std::isfinite(value)) {
        throw HelperContractEncodingError("A fan speed is not a finite number.");
    }
    return Json(value);
}

Json fansToJSON(const std::vector<FanInfo>& fans) {
    Json array = Json::array();
    for (const FanInfo& fan : fans) {
        array.push_back(toJSON(fan));
    }
    return array;
}

template <class Payload>
Json replyToJSON(const HelperReply<Payload>& reply) {
    Json json = Json::object();
    json["protocolVersion"] = reply.protocolVersion();
    if (reply.payload()) {
        json["payload"] = toJSON(*reply.payload());
    }
    if (reply.errorMessage()) {
        json["errorMessage"] = *reply.errorMessage();
    }
    return json;
}

std::string dump(const Json& json) {
    try {
        return json.dump();
    } catch (const nlohmann::json::exception&) {
        // Raised for text that is not valid UTF-8.
        throw HelperContractEncodingError("A text is not valid UTF-8.");
    }
}

Bytes toBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

template <class Input>
Json parse(const Input& input) {
    try {
        return Json::parse(input.begin(), input.end());
    } catch (const nlohmann::json::exception&) {
        decodingFails("the data is not valid JSON.");
    }
}

}  // namespace

// Builds replies exactly as they arrived; see HelperReply.h.
struct HelperReplyDecoder {
    template <class Payload>
    static HelperReply<Payload> decode(std::span<const std::uint8_t> bytes,
                                       Payload (*payloadFromJSON)(const Json&)) {
        Json json = parse(bytes);
        requireObject(json, "The reply");
        auto version = requiredInteger(json, "protocolVersion");
        std::optional<Payload> payload;
        if (const Json* value = optionalValue(json, "payload")) {
            payload = payloadFromJSON(*value);
        }
        return HelperReply<Payload>(version, std::move(payload),
                                    optionalString(json, "errorMessage"));
    }
};

Json toJSON(const FanInfo& fan) {
    Json json = Json::object();
    json["id"] = fan.id;
    json["actualRPM"] = finiteNumber(fan.actualRPM);
    json["minimumRPM"] = finiteNumber(fan.minimumRPM);
    json["maximumRPM"] = finiteNumber(fan.maximumRPM);
    json["targetRPM"] = finiteNumber(fan.targetRPM);
    json["mode"] = toString(fan.mode);
    return json;
}

Json toJSON(const HardwareCapabilities& capabilities) {
    Json json = Json::object();
    json["model"] = capabilities.model;
    if (capabilities.chipGeneration) {
        json["chipGeneration"] = *capabilities.chipGeneration;
    }
    json["fanCount"] = capabilities.fanCount;
    json["canMonitor"] = capabilities.canMonitor;
    json["canControl"] = capabilities.canControl;
    if (capabilities.controlMechanism) {
        json["controlMechanism"] = *capabilities.controlMechanism;
    }
    if (capabilities.reason) {
        json["reason"] = *capabilities.reason;
    }
    return json;
}

Json toJSON(const HelperStatus& status) {
    Json json = Json::object();
    json["state"] = toString(status.state);
    json["fans"] = fansToJSON(status.fans);
    if (status.activePercentage) {
        json["activePercentage"] = *status.activePercentage;
    }
    return json;
}

Json toJSON(const FanControlResult& result) {
    Json json = Json::object();
    json["state"] = toString(result.state);
    json["fans"] = fansToJSON(result.fans);
    if (result.appliedPercentage) {
        json["appliedPercentage"] = *result.appliedPercentage;
    }
    return json;
}

Json toJSON(const HelperReply<HelperStatus>& reply) {
    return replyToJSON(reply);
}

Json toJSON(const HelperReply<FanControlResult>& reply) {
    return replyToJSON(reply);
}

FanInfo fanInfoFromJSON(const Json& json) {
    requireObject(json, "A fan");
    FanInfo fan;
    fan.id = requiredInteger(json, "id");
    fan.actualRPM = requiredDouble(json, "actualRPM");
    fan.minimumRPM = requiredDouble(json, "minimumRPM");
    fan.maximumRPM = requiredDouble(json, "maximumRPM");
    fan.targetRPM = requiredDouble(json, "targetRPM");
    auto raw = readString(requiredValue(json, "mode"), "mode");
    auto mode = parseFanControlMode(raw);
    if (!mode) {
        decodingFails("unknown fan mode " + inQuotes(raw) + ".");
    }
    fan.mode = *mode;
    return fan;
}

HardwareCapabilities hardwareCapabilitiesFromJSON(const Json& json) {
    requireObject(json, "The hardware capabilities");
    HardwareCapabilities capabilities;
    capabilities.model = readString(requiredValue(json, "model"), "model");
    capabilities.chipGeneration = optionalInteger(json, "chipGeneration");
    capabilities.fanCount = requiredInteger(json, "fanCount");
    capabilities.canMonitor = readBool(requiredValue(json, "canMonitor"), "canMonitor");
    capabilities.canControl = readBool(requiredValue(json, "canControl"), "canControl");
    capabilities.controlMechanism = optionalString(json, "controlMechanism");
    capabilities.reason = optionalString(json, "reason");
    return capabilities;
}

HelperStatus helperStatusFromJSON(const Json& json) {
    requireObject(json, "The status");
    HelperStatus status;
    status.state = requiredState(json);
    status.fans = requiredFans(json);
    status.activePercentage = optionalInteger(json, "activePercentage");
    return status;
}

FanControlResult fanControlResultFromJSON(const Json& json) {
    requireObject(json, "The result");
    FanControlResult result;
    result.state = requiredState(json);
    result.fans = requiredFans(json);
    result.appliedPercentage = optionalInteger(json, "appliedPercentage");
    return result;
}

Bytes encodeHelperReply(const HelperReply<HelperStatus>& reply) {
    return toBytes(dump(toJSON(reply)));
}

Bytes encodeHelperReply(const HelperReply<FanControlResult>& reply) {
    return toBytes(dump(toJSON(reply)));
}

std::string encodeHardwareCapabilities(const HardwareCapabilities& capabilities) {
    return dump(toJSON(capabilities));
}

HelperReply<HelperStatus> decodeHelperStatusReply(std::span<const std::uint8_t> bytes) {
    return HelperReplyDecoder::decode<HelperStatus>(bytes, &helperStatusFromJSON);
}

HelperReply<FanControlResult> decodeFanControlResultReply(std::span<const std::uint8_t> bytes) {
    return HelperReplyDecoder::decode<FanControlResult>(bytes, &fanControlResultFromJSON);
}

HardwareCapabilities decodeHardwareCapabilities(std::string_view text) {
    return hardwareCapabilitiesFromJSON(parse(text));
}

}  // namespace ventrella::shared
