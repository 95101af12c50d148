#include "Ventrella/Core/GuardSettingsJSON.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "Ventrella/Core/FanLevelJSON.h"
#include "Ventrella/Core/JSONCodingError.h"

namespace ventrella::core {
namespace {

using Json = nlohmann::ordered_json;

GuardSettings decoded(const std::string& text) {
    return decodeGuardSettings(text);
}

TEST(GuardSettingsJSON, MissingAndNullKeysTakeTheFreshValues) {
    EXPECT_EQ(decoded("{}"), GuardSettings{});
    EXPECT_NO_THROW(decoded("{}").validated());

    const Json fresh = toJSON(GuardSettings{});
    Json allNull = Json::object();
    for (const auto& [key, value] : fresh.items()) {
        allNull[key] = nullptr;
    }
    allNull["boostRPM"] = nullptr;
    EXPECT_EQ(guardSettingsFromJSON(allNull), GuardSettings{});

    // Unknown keys are ignored.
    EXPECT_EQ(decoded(R"({"futureSetting": [1, 2]})"), GuardSettings{});
}

TEST(GuardSettingsJSON, EncodesEveryFieldInOrderAndDecodesItBack) {
    GuardSettings settings;
    settings.appLanguage = AppLanguage::portugueseBrazil;
    settings.temperatureSource = TemperatureSource::cpuAndGPU;
    settings.temperatureAggregation = TemperatureAggregation::hottest;
    settings.boostEnterCelsius = 78.5;
    settings.boostExitCelsius = 70;
    settings.boostPercent = 65;
    settings.boostEnterSamples = 4;
    settings.boostExitSamples = 12;
    settings.boostMinimumHoldSeconds = 30;
    settings.emergencyEnterCelsius = 95;
    settings.emergencyExitCelsius = 85;
    settings.emergencyExitSamples = 25;
    settings.emergencyMinimumHoldSeconds = 150;
    settings.pollIntervalSeconds = 2;
    settings.launchAtLogin = true;

    const std::string text = encodeGuardSettings(settings);
    EXPECT_EQ(text, R"({"appLanguage":"pt-BR","temperatureSource":"cpuAndGPU",)"
                    R"("temperatureAggregation":"hottest","boostEnterCelsius":78.5,)"
                    R"("boostExitCelsius":70.0,"boostPercent":65,"boostEnterSamples":4,)"
                    R"("boostExitSamples":12,"boostMinimumHoldSeconds":30.0,)"
                    R"("emergencyEnterCelsius":95.0,"emergencyExitCelsius":85.0,)"
                    R"("emergencyExitSamples":25,"emergencyMinimumHoldSeconds":150.0,)"
                    R"("pollIntervalSeconds":2.0,"launchAtLogin":true})");
    EXPECT_EQ(decoded(text), settings);
    // Settings migrated from a speed are written back as a percentage only.
    EXPECT_FALSE(toJSON(decoded(R"({"boostRPM": 2950})")).contains("boostRPM"));
}

TEST(GuardSettingsJSON, ValuesOfTheWrongTypeAreErrors) {
    const std::vector<std::string> cases = {
        R"({"boostEnterCelsius": "80"})",
        R"({"boostExitCelsius": true})",
        R"({"boostPercent": 55.7})",
        R"({"boostPercent": 55.0})",
        R"({"boostEnterSamples": 1e2})",
        R"({"emergencyExitSamples": "20"})",
        R"({"boostPercent": 18446744073709551615})",
        R"({"boostRPM": "4900"})",
        R"({"boostRPM": 2950.5})",
        R"({"pollIntervalSeconds": [3]})",
        R"({"launchAtLogin": 1})",
        R"({"launchAtLogin": "true"})",
        R"({"appLanguage": 5})",
        R"({"temperatureSource": 0})",
        R"({"temperatureAggregation": {}})",
        R"({"temperatureSource": "npu"})",
        R"({"temperatureAggregation": "median"})",
        R"([])",
        R"("settings")",
        R"(null)",
        R"({"boostPercent": 55)",
        R"()",
    };
    for (const auto& text : cases) {
        EXPECT_THROW(decoded(text), JSONDecodingError) << text;
    }
}

TEST(GuardSettingsJSON, ToleratesWhatOlderOrHandEditedSettingsHold) {
    struct Case {
        std::string text;
        GuardSettings expected;
    };
    auto with = [](auto change) {
        GuardSettings settings;
        change(settings);
        return settings;
    };
    const auto percent = [&](std::int64_t value) {
        return with([value](GuardSettings& s) { s.boostPercent = value; });
    };
    const std::vector<Case> cases = {
        {R"({"appLanguage": "xx"})", GuardSettings{}},
        {R"({"appLanguage": "de"})", with([](auto& s) { s.appLanguage = AppLanguage::german; })},
        {R"({"boostRPM": 4900})", percent(100)},
        {R"({"boostRPM": 1000})", percent(40)},
        {R"({"boostRPM": 2950})", percent(50)},
        {R"({"boostRPM": 2969})", percent(50)},  // 50.49
        {R"({"boostRPM": 2970})", percent(51)},  // 50.51
        {R"({"boostRPM": 100000})", percent(100)},
        {R"({"boostRPM": -5})", percent(40)},
        {R"({"boostRPM": 9223372036854775807})", percent(100)},
        {R"({"boostRPM": -9223372036854775808})", percent(40)},
        {R"({"boostPercent": null, "boostRPM": 4900})", percent(100)},
        {R"({"boostPercent": 70, "boostRPM": 4900})", percent(70)},
        {R"({"boostPercent": 70, "boostRPM": "ignored"})", percent(70)},
        {R"({"boostPercent": 7})", percent(7)},  // decoding does not validate
        {R"({"pollIntervalSeconds": 9})", with([](auto& s) { s.pollIntervalSeconds = 5; })},
        {R"({"pollIntervalSeconds": 5})", with([](auto& s) { s.pollIntervalSeconds = 5; })},
        {R"({"pollIntervalSeconds": 0.5})", with([](auto& s) { s.pollIntervalSeconds = 0.5; })},
        {R"({"boostEnterCelsius": 81})", with([](auto& s) { s.boostEnterCelsius = 81; })},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(decoded(text), expected) << text;
    }
    EXPECT_NO_THROW(decoded(R"({"pollIntervalSeconds": 9})").validated());
}

TEST(GuardSettingsJSON, NumbersJSONCannotCarryAreNotEncoded) {
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity()}) {
        GuardSettings settings;
        settings.emergencyMinimumHoldSeconds = bad;
        EXPECT_THROW(encodeGuardSettings(settings), JSONEncodingError);
        FanLevel level = GuardSettings{}.levels()[0];
        level.exitCelsius = bad;
        EXPECT_THROW(toJSON(level), JSONEncodingError);
    }
}

TEST(FanLevelJSON, TargetsUseOneKeyPerCase) {
    EXPECT_EQ(toJSON(FanTarget::percentage(55)).dump(), R"({"percentage":{"_0":55}})");
    EXPECT_EQ(toJSON(FanTarget::maximum()).dump(), R"({"maximum":{}})");
    EXPECT_EQ(fanTargetFromJSON(Json::parse(R"({"percentage":{"_0":55}})")),
              FanTarget::percentage(55));
    EXPECT_EQ(fanTargetFromJSON(Json::parse(R"({"maximum":{"ignored":1}})")), FanTarget::maximum());
    EXPECT_EQ(fanTargetFromJSON(Json::parse(R"({"maximum":{},"other":1})")), FanTarget::maximum());

    for (const char* text :
         {R"({})", R"({"other":1})", R"({"percentage":{"_0":55},"maximum":{}})"}) {
        try {
            fanTargetFromJSON(Json::parse(text));
            ADD_FAILURE() << text << " decoded";
        } catch (const JSONDecodingError& error) {
            EXPECT_STREQ(error.what(), "Invalid number of keys found, expected one.") << text;
        }
    }
    for (const char* text :
         {R"({"percentage":{"_0":55.5}})", R"({"percentage":{}})", R"({"percentage":55})",
          R"({"maximum":5})", R"({"maximum":null})", R"([])"}) {
        EXPECT_THROW(fanTargetFromJSON(Json::parse(text)), JSONDecodingError) << text;
    }
}

TEST(FanLevelJSON, EveryFieldOfALevelIsRequired) {
    const FanLevel level{"boost", "Boost", 80, 72, FanTarget::percentage(55), 3, 10, 60};
    const Json json = toJSON(level);
    EXPECT_EQ(json.dump(), R"({"id":"boost","name":"Boost","enterCelsius":80.0,"exitCelsius":72.0,)"
                           R"("target":{"percentage":{"_0":55}},"enterSamples":3,"exitSamples":10,)"
                           R"("minimumHoldSeconds":60.0})");
    EXPECT_EQ(fanLevelFromJSON(json), level);
    for (const auto& [key, value] : json.items()) {
        Json without = json;
        without.erase(key);
        EXPECT_THROW(fanLevelFromJSON(without), JSONDecodingError) << key;
        Json nulled = json;
        nulled[key] = nullptr;
        EXPECT_THROW(fanLevelFromJSON(nulled), JSONDecodingError) << key;
    }
    Json wrong = json;
    wrong["enterSamples"] = 3.0;
    EXPECT_THROW(fanLevelFromJSON(wrong), JSONDecodingError);
}

}  // namespace
}  // namespace ventrella::core
