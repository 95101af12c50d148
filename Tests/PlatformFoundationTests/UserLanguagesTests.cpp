#include "Platform/Foundation/UserLanguages.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/Locale.h"

namespace {

using namespace platform::foundation;
using Environment = std::map<std::string, std::string, std::less<>>;

EnvironmentLookup lookupIn(const Environment& environment) {
    return [&environment](std::string_view name) -> std::optional<std::string> {
        const auto found = environment.find(name);
        if (found == environment.end()) {
            return std::nullopt;
        }
        return found->second;
    };
}

TEST(UserLanguages, PosixNamesBecomeFolderIdentifiers) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"de_DE.UTF-8", "de-DE"},   {"de_AT@euro", "de-AT"},    {"de", "de"},
        {"pt_BR.UTF-8", "pt-BR"},   {"zh_CN.UTF-8", "zh-Hans"}, {"zh_SG", "zh-Hans"},
        {"zh_TW.UTF-8", "zh-Hant"}, {"zh", "zh-Hans"},          {"EN_us", "en-US"},
        {"sr_RS@latin", "sr-RS"},   {"C", std::nullopt},        {"C.UTF-8", std::nullopt},
        {"POSIX", std::nullopt},    {"", std::nullopt},         {"de__DE", std::nullopt},
        {"../de", std::nullopt},
    };
    for (const auto& [posix, expected] : cases) {
        EXPECT_EQ(UserLanguages::languageIdentifier(posix), expected) << posix;
    }
    // A locale keeps the Chinese region; only the language folders are named by script.
    EXPECT_EQ(UserLanguages::languageTag("zh_CN.UTF-8"), "zh-CN");
}

TEST(UserLanguages, PreferredLanguagesFollowTheVariablesInOrder) {
    struct Case {
        Environment environment;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {{}, {}},
        {{{"LANG", "de_DE.UTF-8"}}, {"de-DE"}},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_FR.UTF-8"}}, {"fr-FR"}},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "fr_FR"}, {"LC_ALL", "it_IT"}}, {"it-IT"}},
        {{{"LANGUAGE", "pt_BR:de:en"}, {"LC_ALL", "it_IT"}}, {"pt-BR", "de", "en"}},
        // Unusable entries are skipped; an entry given twice counts once.
        {{{"LANGUAGE", "C::zh_CN:de:zh_SG"}, {"LANG", "it_IT"}}, {"zh-Hans", "de"}},
        // "C" and "POSIX" pass the choice on to the next variable.
        {{{"LANGUAGE", "C"}, {"LC_ALL", "POSIX"}, {"LANG", "ja_JP.UTF-8"}}, {"ja-JP"}},
        {{{"LANGUAGE", ""}, {"LC_ALL", "C.UTF-8"}}, {}},
    };
    for (const auto& [environment, expected] : cases) {
        EXPECT_EQ(UserLanguages::preferredLanguages(lookupIn(environment)), expected);
    }
}

TEST(UserLanguages, RegionsFallBackToTheirLanguage) {
    EXPECT_EQ(UserLanguages::lookupChain("de-AT"), (std::vector<std::string>{"de-AT", "de"}));
    EXPECT_EQ(UserLanguages::lookupChain("zh-Hans"), (std::vector<std::string>{"zh-Hans", "zh"}));
    EXPECT_EQ(UserLanguages::lookupChain("de"), (std::vector<std::string>{"de"}));
}

TEST(UserLanguages, TheLocaleComesFromTheNumericVariables) {
    const std::vector<std::pair<Environment, std::string>> cases = {
        {{}, "en"},
        {{{"LANG", "C"}}, "en"},
        {{{"LANG", "de_DE.UTF-8"}}, "de-DE"},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_NUMERIC", "fr_FR.UTF-8"}}, "fr-FR"},
        {{{"LC_NUMERIC", "fr_FR"}, {"LC_ALL", "pt_BR.UTF-8"}}, "pt-BR"},
        // LANGUAGE and LC_MESSAGES choose texts, not numbers.
        {{{"LANGUAGE", "de"}, {"LC_MESSAGES", "de_DE"}, {"LANG", "en_GB.UTF-8"}}, "en-GB"},
    };
    for (const auto& [environment, expected] : cases) {
        EXPECT_EQ(Locale::current(lookupIn(environment)).identifier(), expected);
    }
}

}  // namespace
