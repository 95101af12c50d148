#include "Ventrella/Core/FanLevelJSON.h"

#include "Ventrella/Core/JSONObjectReader.h"

namespace ventrella::core {

namespace {

using Json = nlohmann::ordered_json;

}  // namespace

Json toJSON(const FanTarget& target) {
    Json json = Json::object();
    if (auto percentage = target.percentageValue()) {
        json["percentage"] = Json{{"_0", *percentage}};
    } else {
        json["maximum"] = Json::object();
    }
    return json;
}

FanTarget fanTargetFromJSON(const Json& json) {
    const JSONObjectReader reader(json, "The fan target");
    // Only the two case names count; other keys are ignored.
    const bool hasPercentage = json.contains("percentage");
    const bool hasMaximum = json.contains("maximum");
    if (hasPercentage == hasMaximum) {
        JSONObjectReader::fail("Invalid number of keys found, expected one.");
    }
    if (hasPercentage) {
        const JSONObjectReader payload(json.at("percentage"), "The fan target's percentage");
        return FanTarget::percentage(payload.integer("_0"));
    }
    const JSONObjectReader payload(json.at("maximum"), "The fan target's maximum");
    return FanTarget::maximum();
}

Json toJSON(const FanLevel& level) {
    auto number = &JSONObjectReader::finiteNumber;
    Json json = Json::object();
    json["id"] = level.id;
    json["name"] = level.name;
    json["enterCelsius"] = number(level.enterCelsius, "enterCelsius");
    json["exitCelsius"] = number(level.exitCelsius, "exitCelsius");
    json["target"] = toJSON(level.target);
    json["enterSamples"] = level.enterSamples;
    json["exitSamples"] = level.exitSamples;
    json["minimumHoldSeconds"] = number(level.minimumHoldSeconds, "minimumHoldSeconds");
    return json;
}

FanLevel fanLevelFromJSON(const Json& json) {
    const JSONObjectReader reader(json, "The fan level");
    FanLevel level;
    level.id = reader.string("id");
    level.name = reader.string("name");
    level.enterCelsius = reader.number("enterCelsius");
    level.exitCelsius = reader.number("exitCelsius");
    level.target = fanTargetFromJSON(reader.required("target"));
    level.enterSamples = reader.integer("enterSamples");
    level.exitSamples = reader.integer("exitSamples");
    level.minimumHoldSeconds = reader.number("minimumHoldSeconds");
    return level;
}

}  // namespace ventrella::core
