#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "Platform/Foundation/StringsTable.h"
#include "ShippedTables.h"
#include "TableLayout.h"
#include "TranslationFixtures.h"
#include "TranslationRules.h"
#include "Ventrella/Core/AppLanguage.h"

// Every language the bundle ships is checked here, as soon as its table is added: the table is
// complete and laid out as the English one, keeps the rules of TranslationRules.h, and has its
// glossary and allow-list in Tests/Fixtures/Localization.

namespace {

namespace fs = std::filesystem;
namespace shipped = ventrella::tests::shipped;
using platform::foundation::StringsTable;
using namespace ventrella::tests;

// The terms every glossary defines.
const std::vector<std::string> requiredTerms = {
    "fan", "Boost", "Emergency cooling", "helper", "Apple Automatic", "threshold", "sampling",
};

// Sentences that tell the user to click a button, and the button's key.
const std::vector<ButtonMention> buttonMentions = {
    {"Approve Ventrella Fan Helper in System Settings > General > Login Items & Extensions, then "
     "return and click Update.",
     "Update"},
};

void expectNone(const std::vector<std::string>& problems, const std::string& language,
                const std::string& rule) {
    if (problems.empty()) {
        return;
    }
    std::string lines;
    for (const auto& problem : problems) {
        lines += "\n  " + problem;
    }
    ADD_FAILURE() << language << ": " << problems.size() << " " << rule << ":" << lines;
}

StringsTable table(const std::string& language) {
    auto loaded = StringsTable::load(shipped::bundledTable(language));
    EXPECT_TRUE(loaded.has_value()) << language << ": the table is missing or malformed";
    return loaded.value_or(StringsTable());
}

// The language's fixture file; a shipped language without one fails.
std::string fixture(const std::string& language, const std::string& extension) {
    const auto path = shipped::fixtures() / (language + extension);
    const auto text = shipped::read(path);
    if (!text) {
        ADD_FAILURE() << language << ": every shipped language needs " << path
                      << " (see TranslationFixtures.h for its format)";
    }
    return text.value_or("");
}

Glossary glossary(const std::string& language) {
    auto parsed = Glossary::parse(fixture(language, ".glossary"));
    expectNone(parsed.problems, language, "malformed glossary lines");
    return parsed;
}

AllowList allowList(const std::string& language) {
    auto parsed = AllowList::parse(fixture(language, ".same"));
    expectNone(parsed.problems, language, "malformed allow-list lines");
    return parsed;
}

TEST(ShippedTables, TheBundleShipsEveryLanguageFolderAsItStandsInTheSources) {
    const auto sources = shipped::languagesIn(shipped::sourceTables());
    EXPECT_EQ(shipped::languagesIn(shipped::bundleResources()), sources);
    EXPECT_TRUE(std::find(sources.begin(), sources.end(), "en") != sources.end());
    for (const auto& language : sources) {
        const auto file = fs::path(language + ".lproj") / "Localizable.strings";
        const auto bundled = shipped::read(shipped::bundleResources() / file);
        EXPECT_TRUE(bundled && bundled == shipped::read(shipped::sourceTables() / file))
            << language << ": the bundle's table is missing or differs from the sources'";
        // A folder the language picker cannot choose would never be shown.
        const auto chosen = ventrella::core::appLanguageFromRawValue(language);
        EXPECT_TRUE(chosen && *chosen != ventrella::core::AppLanguage::system)
            << language << ".lproj names no interface language";
    }
}

TEST(ShippedTables, EveryFixtureBelongsToAShippedTranslation) {
    const auto translations = shipped::translations();
    int files = 0;
    std::error_code error;  // no folder yet: no fixtures, as long as nothing is translated
    for (const auto& entry : fs::directory_iterator(shipped::fixtures(), error)) {
        ++files;
        const auto extension = entry.path().extension();
        EXPECT_TRUE(extension == ".glossary" || extension == ".same") << entry.path();
        EXPECT_TRUE(std::find(translations.begin(), translations.end(),
                              entry.path().stem().string()) != translations.end())
            << entry.path() << " belongs to no shipped language";
    }
    EXPECT_EQ(files, static_cast<int>(2 * translations.size()));
}

TEST(ShippedTables, EveryTranslationHoldsEveryKeyInTheAreasAndOrderOfTheEnglishTable) {
    const auto english = TableLayout::read(shipped::read(shipped::bundledTable("en")).value_or(""));
    ASSERT_TRUE(english.problems.empty());
    ASSERT_FALSE(english.areas.empty());
    const auto keys = english.keys();
    const std::set<std::string> englishKeys(keys.begin(), keys.end());
    const auto translations = shipped::translations();
    EXPECT_FALSE(translations.empty());
    for (const auto& language : translations) {
        const auto text = shipped::read(shipped::bundledTable(language));
        ASSERT_TRUE(text) << language;
        const auto layout = TableLayout::read(*text);
        expectNone(layout.problems, language, "lines that are not one entry or a comment");
        const auto parsed = table(language);
        for (const auto& key : keys) {
            EXPECT_TRUE(parsed.value(key).has_value()) << language << " lacks " << key;
        }
        for (const auto& [key, value] : parsed.entries()) {
            EXPECT_TRUE(englishKeys.contains(key))
                << language << " has a key English lacks: " << key;
        }
        // Area by area, so that a difference is reported where it is.
        for (std::size_t index = 0; index < std::max(english.areas.size(), layout.areas.size());
             ++index) {
            if (index >= english.areas.size() || index >= layout.areas.size()) {
                ADD_FAILURE() << language << " has " << layout.areas.size()
                              << " areas; English has " << english.areas.size();
                break;
            }
            EXPECT_EQ(layout.areas[index], english.areas[index])
                << language << ": area " << index + 1 << " (\"" << english.areas[index].title
                << "\") differs in its comment, its keys or their order";
        }
    }
}

TEST(ShippedTables, EveryTranslationKeepsItsKeysPlaceholdersNamesAndMarks) {
    for (const auto& language : shipped::translations()) {
        const auto translated = table(language);
        ASSERT_FALSE(translated.empty()) << language;
        expectNone(placeholderProblems(translated, language), language, "placeholder faults");
        expectNone(untranslatedNameProblems(translated), language, "names translated");
        expectNone(typographyProblems(translated, glossary(language)), language,
                   "typographic marks lost");
    }
}

TEST(ShippedTables, EveryTranslationFollowsItsGlossaryAndAllowList) {
    for (const auto& language : shipped::translations()) {
        const auto translated = table(language);
        const auto terms = glossary(language);
        for (const auto& term : requiredTerms) {
            EXPECT_NE(terms.entry(term), nullptr)
                << language << ".glossary lacks the term \"" << term << "\"";
        }
        expectNone(glossaryProblems(translated, terms), language, "glossary faults");
        expectNone(sameAsKeyProblems(translated, allowList(language)), language,
                   "allow-list faults");
    }
}

TEST(ShippedTables, SentencesNameButtonsByTheirTranslatedLabels) {
    const auto english = table("en");
    for (const auto& mention : buttonMentions) {
        // The sentence still names that button in English.
        EXPECT_NE(mention.sentence.find(mention.button), std::string::npos) << mention.sentence;
        EXPECT_TRUE(english.value(mention.sentence) && english.value(mention.button))
            << mention.sentence;
    }
    for (const auto& language : shipped::translations()) {
        expectNone(buttonMentionProblems(table(language), buttonMentions), language,
                   "sentences naming a button otherwise");
    }
}

TEST(ShippedTables, ArgumentsAndNamesReadInTheLanguagesOrder) {
    for (const auto& language : shipped::translations()) {
        expectNone(readingOrderProblems(table(language), language), language,
                   "texts out of reading order");
    }
}

}  // namespace
