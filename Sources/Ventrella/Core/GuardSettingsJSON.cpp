#include "Ventrella/Core/GuardSettingsJSON.h"

#include <algorithm>
#include <cmath>

#include "Ventrella/Core/JSONCodingError.h"
#include "Ventrella/Core/JSONObjectReader.h"
#include "VentrellaShared/FanControlTiming.h"
#include "VentrellaShared/VentrellaProtocol.h"

namespace ventrella::core {

namespace {

using Json = nlohmann::ordered_json;

// Older settings stored the Boost speed in RPM over a 1000-4900 RPM span. Worked in floating
// point so that no stored value can overflow.
std::int64_t percentFromLegacyRPM(std::int64_t rpm) {
    const double percent = std::round((static_cast<double>(rpm) - 1000.0) / 3900.0 * 100.0);
    const auto lowest = static_cast<double>(shared::VentrellaProtocol::minimumCoolingPercentage);
    return static_cast<std::int64_t>(std::clamp(percent, lowest, 100.0));
}

template <class Enumeration>
Enumeration decodeEnumeration(const JSONObjectReader& reader, std::string_view key,
                              Enumeration fallback,
                              std::optional<Enumeration> (*fromRawValue)(std::string_view)) {
    const auto raw = reader.optionalString(key);
    if (!raw) {
        return fallback;
    }
    const auto value = fromRawValue(*raw);
    if (!value) {
        JSONObjectReader::fail("The value of \"" + std::string(key) + "\" is unknown: \"" + *raw +
                               "\".");
    }
    return *value;
}

}  // namespace

Json toJSON(const GuardSettings& settings) {
    auto number = &JSONObjectReader::finiteNumber;
    Json json = Json::object();
    json["appLanguage"] = rawValue(settings.appLanguage);
    json["temperatureSource"] = rawValue(settings.temperatureSource);
    json["temperatureAggregation"] = rawValue(settings.temperatureAggregation);
    json["boostEnterCelsius"] = number(settings.boostEnterCelsius, "boostEnterCelsius");
    json["boostExitCelsius"] = number(settings.boostExitCelsius, "boostExitCelsius");
    json["boostPercent"] = settings.boostPercent;
    json["boostEnterSamples"] = settings.boostEnterSamples;
    json["boostExitSamples"] = settings.boostExitSamples;
    json["boostMinimumHoldSeconds"] =
        number(settings.boostMinimumHoldSeconds, "boostMinimumHoldSeconds");
    json["emergencyEnterCelsius"] = number(settings.emergencyEnterCelsius, "emergencyEnterCelsius");
    json["emergencyExitCelsius"] = number(settings.emergencyExitCelsius, "emergencyExitCelsius");
    json["emergencyExitSamples"] = settings.emergencyExitSamples;
    json["emergencyMinimumHoldSeconds"] =
        number(settings.emergencyMinimumHoldSeconds, "emergencyMinimumHoldSeconds");
    json["pollIntervalSeconds"] = number(settings.pollIntervalSeconds, "pollIntervalSeconds");
    json["launchAtLogin"] = settings.launchAtLogin;
    return json;
}

GuardSettings guardSettingsFromJSON(const Json& json) {
    const JSONObjectReader reader(json, "The guard settings");
    const GuardSettings fresh;
    GuardSettings settings;

    if (auto raw = reader.optionalString("appLanguage")) {
        settings.appLanguage = appLanguageFromRawValue(*raw).value_or(AppLanguage::system);
    }
    settings.temperatureSource = decodeEnumeration(
        reader, "temperatureSource", fresh.temperatureSource, &temperatureSourceFromRawValue);
    settings.temperatureAggregation =
        decodeEnumeration(reader, "temperatureAggregation", fresh.temperatureAggregation,
                          &temperatureAggregationFromRawValue);
    settings.boostEnterCelsius =
        reader.optionalNumber("boostEnterCelsius").value_or(fresh.boostEnterCelsius);
    settings.boostExitCelsius =
        reader.optionalNumber("boostExitCelsius").value_or(fresh.boostExitCelsius);
    if (auto percent = reader.optionalInteger("boostPercent")) {
        settings.boostPercent = *percent;
    } else if (auto rpm = reader.optionalInteger("boostRPM")) {
        settings.boostPercent = percentFromLegacyRPM(*rpm);
    }
    settings.boostEnterSamples =
        reader.optionalInteger("boostEnterSamples").value_or(fresh.boostEnterSamples);
    settings.boostExitSamples =
        reader.optionalInteger("boostExitSamples").value_or(fresh.boostExitSamples);
    settings.boostMinimumHoldSeconds =
        reader.optionalNumber("boostMinimumHoldSeconds").value_or(fresh.boostMinimumHoldSeconds);
    settings.emergencyEnterCelsius =
        reader.optionalNumber("emergencyEnterCelsius").value_or(fresh.emergencyEnterCelsius);
    settings.emergencyExitCelsius =
        reader.optionalNumber("emergencyExitCelsius").value_or(fresh.emergencyExitCelsius);
    settings.emergencyExitSamples =
        reader.optionalInteger("emergencyExitSamples").value_or(fresh.emergencyExitSamples);
    settings.emergencyMinimumHoldSeconds = reader.optionalNumber("emergencyMinimumHoldSeconds")
                                               .value_or(fresh.emergencyMinimumHoldSeconds);
    settings.pollIntervalSeconds =
        std::min(reader.optionalNumber("pollIntervalSeconds").value_or(fresh.pollIntervalSeconds),
                 shared::FanControlTiming::maximumPollIntervalSeconds);
    settings.launchAtLogin = reader.optionalBoolean("launchAtLogin").value_or(fresh.launchAtLogin);
    return settings;
}

std::string encodeGuardSettings(const GuardSettings& settings) {
    return toJSON(settings).dump();
}

GuardSettings decodeGuardSettings(std::string_view text) {
    Json json;
    try {
        json = Json::parse(text);
    } catch (const nlohmann::json::exception&) {
        throw JSONDecodingError("The guard settings are not valid JSON.");
    }
    return guardSettingsFromJSON(json);
}

}  // namespace ventrella::core
