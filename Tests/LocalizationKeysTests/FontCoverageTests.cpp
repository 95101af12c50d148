#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "FontCoverage.h"
#include "Platform/Foundation/StringsTable.h"
#include "ShippedTables.h"

// The installed fonts draw every character the language tables hold. scripts/setup installs
// them; a table in a script no installed font covers fails here before anyone sees boxes.

namespace {

using platform::foundation::StringsTable;
using ventrella::tests::FontCoverage;
namespace shipped = ventrella::tests::shipped;

std::string codePoint(char32_t character) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(character));
    return text;
}

TEST(FontCoverage, FindsWhatTheFontsDrawAndNotWhatNoneDraws) {
    const auto fonts = FontCoverage::installed();
    EXPECT_GT(fonts.fonts(), 0);
    EXPECT_TRUE(fonts.covers(U'A'));
    EXPECT_TRUE(fonts.covers(U'…'));
    // An unassigned code point has no glyph in any font.
    EXPECT_FALSE(fonts.covers(U'\u0378'));
    // Isolates and line breaks need none; each missing character is named once.
    EXPECT_EQ(fonts.missing("A\u0378B\u2068C\u2069\n\u0378"), std::vector<char32_t>{U'\u0378'});
    // Bytes that are not UTF-8 are reported as the replacement character.
    EXPECT_EQ(fonts.missing("A\xff"), std::vector<char32_t>{U'\uFFFD'});
}

TEST(FontCoverage, EveryScriptOfTheInterfaceLanguagesHasAFont) {
    const std::vector<std::pair<std::string, std::string>> samples = {
        {"Latin", "Lüfter · Ventilación · Ventilação · Refroidissement · Wentylator · Soğutma"},
        {"Cyrillic", "Вентилятор"},
        {"Arabic", "المروحة"},
        {"Devanagari", "पंखा"},
        {"Han", "风扇控制 冷却"},
        {"Kana", "ファン ヘルパー"},
        {"Hangul", "팬 도우미"},
        {"Marks", "… · — ° − «»„“"},
    };
    const auto fonts = FontCoverage::installed();
    for (const auto& [script, text] : samples) {
        for (const auto character : fonts.missing(text)) {
            ADD_FAILURE() << script << ": no installed font draws " << codePoint(character);
        }
    }
}

TEST(FontCoverage, EveryCharacterOfEveryShippedTableHasAGlyph) {
    const auto fonts = FontCoverage::installed();
    const auto languages = shipped::languagesIn(shipped::bundleResources());
    EXPECT_FALSE(languages.empty());
    for (const auto& language : languages) {
        const auto table = StringsTable::load(shipped::bundledTable(language));
        ASSERT_TRUE(table) << language;
        for (const auto& [key, value] : table->entries()) {
            for (const auto character : fonts.missing(value)) {
                ADD_FAILURE() << language << ": no installed font draws " << codePoint(character)
                              << " in \"" << value << "\"";
            }
        }
    }
}

}  // namespace
