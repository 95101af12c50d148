#include "Ventrella/Core/L10n.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Support/ScopedEnvironment.h"
#include "Support/ScopedLocalization.h"
#include "Support/TemporaryBundle.h"

namespace ventrella::core {
namespace {

using testsupport::ScopedEnvironment;
using testsupport::ScopedLocalization;
using testsupport::TemporaryBundle;

// A bundle with English, German and a French table whose translations misuse their placeholders.
class L10nTest : public testing::Test {
  protected:
    L10nTest() {
        app.addTable("en", R"("Value %.1f" = "Value %.1f";
"Hello" = "Hello";)");
        app.addTable("de", R"(/* German */
"Value %.1f" = "Wert %.1f";
"Hello" = "Hallo";
"Fans: %d" = "Lüfter: %d";
"%@ of %@" = "%2$@ von %1$@";)");
        app.addTable("fr", R"("Fans: %d" = "Ventilateurs : %@";
"Sensors: %d" = "Capteurs : %d %d";
"Value %.1f" = "Valeur %d";
"Hello" = "Bonjour";)");
    }

    TemporaryBundle app;
};

TEST_F(L10nTest, TheChosenLanguageWinsOverTheSystemLanguage) {
    const auto english = ScopedEnvironment::userLocale(std::nullopt, "en_US.UTF-8");
    ScopedLocalization localization(app.path(), AppLanguage::german);
    EXPECT_EQ(L10n::string("Hello"), "Hallo");
    EXPECT_EQ(L10n::locale().identifier(), "de");
    EXPECT_EQ(L10n::localizedBundle().bundlePath(), app.resources() / "de.lproj");

    L10n::setLanguage(AppLanguage::english);
    EXPECT_EQ(L10n::string("Hello"), "Hello");
    EXPECT_EQ(L10n::locale().identifier(), "en");
}

TEST_F(L10nTest, TheSystemChoiceFollowsTheUsersLanguagesAndLocale) {
    ScopedLocalization localization(app.path(), AppLanguage::system);
    EXPECT_EQ(L10n::localizedBundle().bundlePath(), app.path());
    {
        const auto german = ScopedEnvironment::userLocale("de_AT:en", "de_AT.UTF-8");
        EXPECT_EQ(L10n::string("Hello"), "Hallo");
        EXPECT_EQ(L10n::locale().identifier(), "de-AT");
        EXPECT_EQ(L10n::format("Value %.1f", 2.25), "Wert 2,2");
    }
    {
        const auto unknown = ScopedEnvironment::userLocale("ja", "C");
        EXPECT_EQ(L10n::string("Hello"), "Hello");
        EXPECT_EQ(L10n::locale().identifier(), "en");
    }
}

TEST_F(L10nTest, AMissingLanguageFallsBackToTheSystemsWhileTheLocaleFollowsTheChoice) {
    const auto german = ScopedEnvironment::userLocale(std::nullopt, "de_DE.UTF-8");
    ScopedLocalization localization(app.path(), AppLanguage::italian);
    EXPECT_EQ(L10n::localizedBundle().bundlePath(), app.path());
    EXPECT_EQ(L10n::string("Hello"), "Hallo");
    EXPECT_EQ(L10n::locale().identifier(), "it");
    EXPECT_EQ(L10n::format("Value %.1f", 2.25), "Wert 2,2");
}

TEST_F(L10nTest, TheTableLanguageIsTheOneTheTextsComeFrom) {
    app.addTable("ar", R"("Hello" = "مرحبا";)");
    std::filesystem::create_directories(app.resources() / "ko.lproj");  // a folder without a table
    struct Case {
        AppLanguage language;
        std::optional<std::string> userLanguages;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {AppLanguage::arabic, "de", "ar"},
        {AppLanguage::german, "ar", "de"},
        {AppLanguage::system, "ar:de", "ar"},
        {AppLanguage::system, "ja:de_CH", "de"},
        {AppLanguage::system, "ja", "en"},
        {AppLanguage::system, std::nullopt, "en"},
        // A language without a table takes the system's table, and with it its direction.
        {AppLanguage::italian, "ar", "ar"},
        {AppLanguage::korean, "ar", "en"},
    };
    for (const auto& [language, userLanguages, expected] : cases) {
        const auto environment = ScopedEnvironment::userLocale(userLanguages, std::nullopt);
        ScopedLocalization localization(app.path(), language);
        EXPECT_EQ(L10n::tableLanguage(), expected)
            << rawValue(language) << " " << userLanguages.value_or("-");
    }
}

TEST_F(L10nTest, AKeyWithoutTranslationIsItsOwnTextAndStillFormats) {
    ScopedLocalization localization(app.path(), AppLanguage::german);
    EXPECT_EQ(L10n::string("Not in any table"), "Not in any table");
    EXPECT_EQ(L10n::format("Sensor read error %d/%d: %@", 4, 3, "timeout"),
              "Sensor read error 4/3: timeout");
    EXPECT_EQ(L10n::format("%.1f°C", 1234.56), "1234,6°C");
    EXPECT_EQ(L10n::format("Fans: %d", 2), "Lüfter: 2");
    EXPECT_EQ(L10n::format("%@ of %@", "one", "two"), "two von one");
}

TEST_F(L10nTest, ATranslationThatDoesNotFitFallsBackToTheKey) {
    ScopedLocalization localization(app.path(), AppLanguage::french);
    EXPECT_EQ(L10n::string("Hello"), "Bonjour");
    EXPECT_EQ(L10n::format("Fans: %d", 2), "Fans: 2");
    EXPECT_EQ(L10n::format("Sensors: %d", 2), "Sensors: 2");
    // The key's format still fills under the chosen language's locale.
    EXPECT_EQ(L10n::format("Value %.1f", 2.25), "Value 2,2");
    // Arguments that fit neither the translation nor the key leave the key unformatted.
    EXPECT_EQ(L10n::format("Fans: %d", "two"), "Fans: %d");
    EXPECT_EQ(L10n::format("Fans: %d"), "Fans: %d");
    EXPECT_EQ(L10n::format("Fans: %d", 1, 2), "Fans: %d");
    EXPECT_EQ(L10n::format("50 % more"), "50 % more");
}

TEST_F(L10nTest, TextsFormattedDuringALanguageChangeAreNeverMixed) {
    ScopedLocalization localization(app.path(), AppLanguage::english);
    std::atomic<bool> stop = false;
    std::thread switcher([&] {
        for (int i = 0; !stop; ++i) {
            L10n::setLanguage(i % 2 == 0 ? AppLanguage::german : AppLanguage::english);
        }
    });
    std::vector<std::thread> readers;
    std::atomic<int> mixed = 0;
    std::atomic<int> german = 0;
    for (int r = 0; r < 3; ++r) {
        readers.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                const std::string text = L10n::format("Value %.1f", 1.5);
                if (text == "Wert 1,5") {
                    ++german;
                } else if (text != "Value 1.5") {
                    ++mixed;
                }
            }
        });
    }
    for (auto& reader : readers) {
        reader.join();
    }
    stop = true;
    switcher.join();
    EXPECT_EQ(mixed, 0);
    EXPECT_GT(german, 0);
}

}  // namespace
}  // namespace ventrella::core
