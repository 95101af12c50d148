#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace ventrella::core {

// Reads the fields of one JSON object strictly, throwing JSONDecodingError: an integer field
// takes only a JSON integer (55.0 and 1e2 are refused), a number field any JSON number, and a
// value of another JSON type is an error. An absent key and `null` both read as no value; a
// required field without a value is an error.
class JSONObjectReader {
  public:
    using Json = nlohmann::ordered_json;

    // Throws when `json` is not an object; `what` names it in the error.
    JSONObjectReader(const Json& json, std::string_view what);

    // Null when the key is absent or holds `null`.
    const Json* find(std::string_view key) const;
    const Json& required(std::string_view key) const;

    std::optional<std::int64_t> optionalInteger(std::string_view key) const;
    std::optional<double> optionalNumber(std::string_view key) const;
    std::optional<bool> optionalBoolean(std::string_view key) const;
    std::optional<std::string> optionalString(std::string_view key) const;

    std::int64_t integer(std::string_view key) const;
    double number(std::string_view key) const;
    std::string string(std::string_view key) const;

    [[noreturn]] static void fail(const std::string& detail);

    // A number JSON can carry; throws JSONEncodingError for NaN and infinity.
    static Json finiteNumber(double value, std::string_view key);

  private:
    const Json& json_;
};

}  // namespace ventrella::core
