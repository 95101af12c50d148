#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/StringFormatter.h"
#include "Platform/Foundation/StringsTable.h"

namespace {

using platform::foundation::Bundle;
using platform::foundation::StringFormatter;
using platform::foundation::StringsTable;

const std::filesystem::path resources =
    std::filesystem::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents" / "Resources";

StringsTable table(const std::string& language) {
    const auto path = resources / (language + ".lproj") / "Localizable.strings";
    auto loaded = StringsTable::load(path);
    EXPECT_TRUE(loaded.has_value()) << path << " is missing or malformed";
    return loaded.value_or(StringsTable());
}

// The languages shipped in the built bundle.
std::vector<std::string> shippedLanguages() {
    std::vector<std::string> languages;
    for (const auto& entry : std::filesystem::directory_iterator(resources)) {
        if (entry.path().extension() == ".lproj") {
            languages.push_back(entry.path().stem().string());
        }
    }
    return languages;
}

// Every text this module looks up; the English table must hold each, and the German one too.
const std::vector<std::string> coreKeys = {
    "The sampling interval must be between 1 and %d seconds.",
    "The Boost exit temperature must be lower than its start temperature.",
    "The Emergency exit temperature must be lower than its start temperature.",
    "The Emergency threshold must be higher than the Boost threshold.",
    "Temperature thresholds must stay within the safe range of 40–110°C.",
    "The consecutive sample counts are outside the allowed range.",
    "The minimum run time must be between 0 and 1800 seconds.",
    "The Boost fan percentage must be between %d and 100.",
    "Boost",
    "Emergency",
    "Emergency cooling",
    "External manual control",
    "Error",
    "Hottest",
    "Average",
    "Sensors: %d",
    "System Default",
    "A fan is being controlled manually by another app. Switch it to Automatic in that app first.",
    "Ventrella is already running.",
    "Entered the %@ threshold",
    "Stepped down to %@",
    "Returned to Apple Automatic",
};

TEST(LocalizationTables, EnglishIsShippedWithEveryKeyAsItsOwnText) {
    const auto english = table("en");
    for (const auto& [key, value] : english.entries()) {
        EXPECT_EQ(value, key);
        EXPECT_TRUE(StringFormatter::argumentKinds(key).has_value()) << "malformed key: " << key;
    }
    for (const auto& key : coreKeys) {
        EXPECT_TRUE(english.value(key).has_value()) << "English lacks: " << key;
    }
    EXPECT_TRUE(Bundle::atPath(VENTRELLA_APP_BUNDLE_DIR)->pathForResource("en", "lproj"));
}

TEST(LocalizationTables, TranslationsUseKnownKeysAndTheirKeysPlaceholders) {
    const auto english = table("en");
    const auto languages = shippedLanguages();
    EXPECT_GE(languages.size(), 2u);
    for (const auto& language : languages) {
        const auto translated = table(language);
        EXPECT_FALSE(translated.empty()) << language;
        for (const auto& [key, value] : translated.entries()) {
            EXPECT_TRUE(english.value(key).has_value())
                << language << " has an unknown key: " << key;
            EXPECT_EQ(StringFormatter::argumentKinds(value), StringFormatter::argumentKinds(key))
                << language << ": " << value;
        }
    }
}

TEST(LocalizationTables, GermanTranslatesEveryTextOfThisModule) {
    const auto german = table("de");
    for (const auto& key : coreKeys) {
        EXPECT_TRUE(german.value(key).has_value()) << "German lacks: " << key;
    }
}

}  // namespace
