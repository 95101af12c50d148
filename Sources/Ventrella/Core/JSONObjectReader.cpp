#include "Ventrella/Core/JSONObjectReader.h"

#include <cmath>
#include <limits>

#include "Ventrella/Core/JSONCodingError.h"

namespace ventrella::core {

namespace {

using Json = JSONObjectReader::Json;

std::string quoted(std::string_view key) {
    return "\"" + std::string(key) + "\"";
}

[[noreturn]] void wrongType(std::string_view key, std::string_view expected) {
    JSONObjectReader::fail("The value of " + quoted(key) + " is not " + std::string(expected) +
                           ".");
}

}  // namespace

JSONObjectReader::JSONObjectReader(const Json& json, std::string_view what) : json_(json) {
    if (!json.is_object()) {
        fail(std::string(what) + " is not a JSON object.");
    }
}

void JSONObjectReader::fail(const std::string& detail) {
    throw JSONDecodingError(detail);
}

Json JSONObjectReader::finiteNumber(double value, std::string_view key) {
    if (!std::isfinite(value)) {
        throw JSONEncodingError("The value of " + quoted(key) + " is not a finite number.");
    }
    return Json(value);
}

const Json* JSONObjectReader::find(std::string_view key) const {
    const auto found = json_.find(key);
    if (found == json_.end() || found->is_null()) {
        return nullptr;
    }
    return &*found;
}

const Json& JSONObjectReader::required(std::string_view key) const {
    const Json* value = find(key);
    if (value == nullptr) {
        fail("The key " + quoted(key) + " is missing.");
    }
    return *value;
}

std::optional<std::int64_t> JSONObjectReader::optionalInteger(std::string_view key) const {
    const Json* value = find(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (value->is_number_unsigned()) {
        const auto number = value->get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            fail("The value of " + quoted(key) + " is out of range.");
        }
        return static_cast<std::int64_t>(number);
    }
    if (!value->is_number_integer()) {
        wrongType(key, "an integer");
    }
    return value->get<std::int64_t>();
}

std::optional<double> JSONObjectReader::optionalNumber(std::string_view key) const {
    const Json* value = find(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_number()) {
        wrongType(key, "a number");
    }
    return value->get<double>();
}

std::optional<bool> JSONObjectReader::optionalBoolean(std::string_view key) const {
    const Json* value = find(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_boolean()) {
        wrongType(key, "a Boolean");
    }
    return value->get<bool>();
}

std::optional<std::string> JSONObjectReader::optionalString(std::string_view key) const {
    const Json* value = find(key);
    if (value == nullptr) {
        return std::nullopt;
    }
    if (!value->is_string()) {
        wrongType(key, "a string");
    }
    return value->get<std::string>();
}

std::int64_t JSONObjectReader::integer(std::string_view key) const {
    required(key);
    return *optionalInteger(key);
}

double JSONObjectReader::number(std::string_view key) const {
    required(key);
    return *optionalNumber(key);
}

std::string JSONObjectReader::string(std::string_view key) const {
    required(key);
    return *optionalString(key);
}

}  // namespace ventrella::core
