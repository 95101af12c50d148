#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Platform/Foundation/StringsTable.h"
#include "TableLayout.h"
#include "TextMatching.h"
#include "TranslationFixtures.h"
#include "TranslationRules.h"

// The rules and file formats the shipped tables are checked with, each shown to catch the fault
// it is for and to pass the sound form.

namespace {

using platform::foundation::StringsTable;
using namespace ventrella::tests;

// A case: one entry of a table in a language, and whether the rule finds a problem in it.
struct Case {
    std::string key;
    std::string value;
    bool faulty;
};

StringsTable tableOf(const Case& entry) {
    return StringsTable(StringsTable::Entries{{entry.key, entry.value}});
}

// A problem names the entry's key.
bool names(const std::vector<std::string>& problems, const std::string& key) {
    return std::any_of(problems.begin(), problems.end(), [&](const std::string& problem) {
        return problem.find("\"" + key + "\"") != std::string::npos;
    });
}

template <class Check>
void expectCases(const std::vector<Case>& cases, Check check) {
    for (const auto& entry : cases) {
        const auto problems = check(tableOf(entry));
        EXPECT_EQ(!problems.empty(), entry.faulty) << entry.key << " = " << entry.value;
        if (entry.faulty) {
            EXPECT_TRUE(names(problems, entry.key)) << problems.front();
        }
    }
}

TEST(TextMatching, TermsAreWholeWordsAndFormsAreStemsAnyCase) {
    struct Match {
        std::string text;
        std::string term;
        bool term_;
        bool stem;
    };
    const std::vector<Match> matches = {
        {"Fan control is off", "fan", true, true},
        {"Required for safe fan-speed control", "fan", true, true},
        {"Fans: %d", "fan", false, true},
        {"Fantasy", "fan", false, true},
        {"Emergency cooling", "emergency cooling", true, true},
        {"DIE LÜFTERSTEUERUNG", "lüfter", false, true},
        {"Heißester", "HEISS", false, true},
        {"Starting…", "…", true, true},
        {"Starting...", "…", false, false},
        {"Ventrella", "", false, false},
    };
    for (const auto& match : matches) {
        EXPECT_EQ(containsTerm(match.text, match.term), match.term_)
            << match.text << " / " << match.term;
        EXPECT_EQ(containsStem(match.text, match.term), match.stem)
            << match.text << " / " << match.term;
    }
    EXPECT_EQ(occurrences("CPU/GPU, CPU", "CPU"), 2u);
    EXPECT_EQ(occurrences("aaaa", "aa"), 2u);
}

TEST(TranslationFixtures, GlossaryLinesNameATermAndItsFormsAndReportWhatIsMalformed) {
    const auto glossary = Glossary::parse(
        "# Terms\n"
        "\n"
        "fan = Lüfter | Ventilator\r\n"
        "Emergency cooling = Notkühlung\n"
        "… = ⋯\n"
        "threshold Schwelle\n"
        "helper = Helper | \n"
        " = Leer\n"
        "FAN = Gebläse\n");
    ASSERT_EQ(glossary.entries.size(), 4u);
    EXPECT_EQ(glossary.entries[0].term, "fan");
    EXPECT_EQ(glossary.entries[0].forms, (std::vector<std::string>{"Lüfter", "Ventilator"}));
    EXPECT_EQ(glossary.entries[0].line, 3);
    EXPECT_EQ(glossary.entries[3].forms, std::vector<std::string>{"Helper"});
    EXPECT_EQ(glossary.entry("emergency COOLING"), &glossary.entries[1]);
    EXPECT_EQ(glossary.entry("…"), &glossary.entries[2]);
    EXPECT_EQ(glossary.entry("threshold"), nullptr);
    ASSERT_EQ(glossary.problems.size(), 4u);
    EXPECT_TRUE(glossary.problems[0].starts_with("line 6:"));
    EXPECT_TRUE(glossary.problems[1].starts_with("line 7:"));
    EXPECT_TRUE(glossary.problems[2].starts_with("line 8:"));
    EXPECT_TRUE(glossary.problems[3].starts_with("line 9:"));  // "fan" again

    const auto allowed = AllowList::parse("# Equal\nVentrella\n%@ · %@\n\nVentrella\n");
    EXPECT_EQ(allowed.keys, (std::set<std::string>{"Ventrella", "%@ · %@"}));
    ASSERT_EQ(allowed.problems.size(), 1u);
    EXPECT_TRUE(allowed.problems[0].starts_with("line 5:"));
}

TEST(TableLayout, AreasAreCommentsWithTheirKeysInOrder) {
    const auto layout = TableLayout::read(
        "/* A heading over\n   two lines. */\n\n"
        "/* First area */\n"
        "\"One\" = \"Eins\";\n"
        "\"Two \\\"quoted\\\"\" = \"Zwei\";\n"
        "\n/* Second area */\n"
        "\"Three\" = \"Drei\";\n"
        "\"One\" = \"Eins\";\n");
    EXPECT_TRUE(layout.problems.empty());
    ASSERT_EQ(layout.areas.size(), 2u);
    EXPECT_EQ(layout.areas[0], (TableArea{"First area", {"One", "Two \"quoted\""}}));
    EXPECT_EQ(layout.areas[1], (TableArea{"Second area", {"Three", "One"}}));
    EXPECT_EQ(layout.keys().size(), 4u);

    const std::vector<std::string> faulty = {
        "\"Orphan\" = \"Waise\";\n",
        "/* Area */\n\"A\" = \"B\"; \"C\" = \"D\";\n",
        "/* Area */\n\"A\" = \"B\"\n",
        "/* Area */\nA = B;\n",
        "/* Area */\n\"A\" = \"B\";\n/* open\n",
    };
    for (const auto& text : faulty) {
        EXPECT_EQ(TableLayout::read(text).problems.size(), 1u) << text;
    }
}

TEST(TranslationRules, PlaceholdersKeepTheirKindsCountAndOrderUnlessTheOrderMustChange) {
    expectCases(
        {
            {"Fans: %d", "Lüfter: %d", false},
            {"%@: %d%% · %@ RPM", "%@ : %d %% · %@ tr/min", false},
            {"Sensor read error %d/%d: %@", "%3$@ — %1$d/%2$d", false},
            {"Fans: %d", "Lüfter: %@", true},
            {"Fans: %d", "Lüfter", true},
            {"Fan %d", "Lüfter %d %d", true},
            {"%d%%", "%d %", true},
            {"%d%%", "%d Prozent", true},
            {"%@ · %@", "%1$@ · %2$@", true},
            {"%@ · %@", "%1$@ · %@", true},
            {"%lld RPM", "%d U/min", false},  // both take an integer
        },
        [](const StringsTable& table) { return placeholderProblems(table, "de"); });
}

TEST(TranslationRules, UntranslatedNamesAndTypographicMarksStay) {
    expectCases(
        {
            {"Returned to Apple Automatic", "Zurück zu Apple Automatic", false},
            {"Returned to Apple Automatic", "Zurück zu Apple-Automatik", true},
            {"Only %d valid CPU/GPU temperature sensors were found.", "Nur %d CPU-Sensoren.", true},
            {"Ventrella, %@, %@", "\u2068Ventrella\u2069، %@، %@", false},
            {"Ventrella Fan Helper", "Ventrella Lüfter-Helper", true},
        },
        [](const StringsTable& table) { return untranslatedNameProblems(table); });

    const auto withOwnEllipsis = Glossary::parse("… = ⋯\n");
    expectCases(
        {
            {"Starting…", "Wird gestartet …", false},
            {"Starting…", "Wird gestartet...", true},
            {"Starting…", "Wird gestartet", true},
            {"— RPM", "- U/min", true},
            {"%@ %d°", "%@ %d °", false},
            {"%@ · %@", "%@, %@", true},
        },
        [](const StringsTable& table) { return typographyProblems(table, Glossary()); });
    expectCases(
        {{"Starting…", "启动中⋯", false}, {"Starting…", "启动中...", true}},
        [&](const StringsTable& table) { return typographyProblems(table, withOwnEllipsis); });
}

TEST(TranslationRules, GlossaryTermsAreTranslatedByTheirFormsOutsideNames) {
    const auto glossary = Glossary::parse(
        "fan = Lüfter\n"
        "helper = Helper | Hilfsprogramm\n");
    expectCases(
        {
            {"Fan speed", "Lüfterdrehzahl", false},
            {"Fan speed", "Ventilatorgeschwindigkeit", true},
            // Not the term "fan": another word, and part of a name.
            {"Fans: %d", "Ventilatoren: %d", false},
            {"Ventrella Fan Helper", "Ventrella Fan Helper", false},
            {"Approve Ventrella Fan Helper", "Ventrella Fan Helper erlauben", false},
            {"Install the Helper", "Installiere das Hilfsprogramm", false},
            {"Install the Helper", "Installiere den Assistenten", true},
        },
        [&](const StringsTable& table) {
            auto problems = glossaryProblems(table, glossary);
            // A one-entry table leaves other terms and forms unused; those are not its fault.
            std::erase_if(problems,
                          [](const std::string& problem) { return problem.starts_with("the "); });
            return problems;
        });

    // The glossary reads true to the table: each term is in a key, each form in a translation.
    const StringsTable table(
        StringsTable::Entries{{"Fan speed", "Lüfterdrehzahl"}, {"Fan", "Lüfter"}});
    const auto problems = glossaryProblems(table, glossary);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("\"helper\""), std::string::npos) << problems[0];
    const auto stale = glossaryProblems(table, Glossary::parse("fan = Lüfter | Gebläse\n"));
    ASSERT_EQ(stale.size(), 1u);
    EXPECT_NE(stale[0].find("\"Gebläse\""), std::string::npos) << stale[0];
    // A form that is an untranslated name is never matched: the name is left out of both sides.
    const auto named = glossaryProblems(
        StringsTable(StringsTable::Entries{{"Automatic", "Automatik"},
                                           {"Returned to Apple Automatic", "Apple Automatic"}}),
        Glossary::parse("automatic = Automatik | Apple Automatic\n"));
    ASSERT_EQ(named.size(), 1u);
    EXPECT_NE(named[0].find("untranslated names"), std::string::npos) << named[0];
}

TEST(TranslationRules, OnlyAllowListedKeysStayEqualAndEachOfThemDoes) {
    const StringsTable table(StringsTable::Entries{
        {"Ventrella", "Ventrella"},
        {"Boost", "Boost"},
        {"Error", "Fehler"},
    });
    const auto problems = sameAsKeyProblems(table, AllowList::parse("Ventrella\nError\nMissing\n"));
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_TRUE(names(problems, "Boost"));    // equal, not listed
    EXPECT_TRUE(names(problems, "Error"));    // listed, translated
    EXPECT_TRUE(names(problems, "Missing"));  // listed, not in the table
    EXPECT_FALSE(names(problems, "Ventrella"));
}

TEST(TranslationRules, ASentenceNamesAButtonByItsTranslatedLabel) {
    const std::vector<ButtonMention> mentions = {{"Then click Update.", "Update"}};
    const auto problems = [&](const std::string& sentence) {
        return buttonMentionProblems(
            StringsTable(StringsTable::Entries{{"Then click Update.", sentence},
                                               {"Update", "Mettre à jour"}}),
            mentions);
    };
    EXPECT_TRUE(problems("Puis cliquez sur « Mettre à jour ».").empty());
    EXPECT_TRUE(problems("Puis cliquez sur « mettre à jour ».").empty());
    EXPECT_EQ(problems("Puis cliquez sur « Actualiser ».").size(), 1u);
    EXPECT_EQ(buttonMentionProblems(StringsTable(), mentions).size(), 1u);
}

TEST(TranslationRules, ArgumentsAndLatinNamesKeepTheReadingOrderOfTheLanguage) {
    const std::string fsi = "\u2068";
    const std::string pdi = "\u2069";
    struct OrderCase {
        std::string language;
        Case entry;
    };
    const std::vector<OrderCase> cases = {
        {"de", {"%@ · %@", "%@ · %@", false}},
        {"de", {"Ventrella, %@, %@", "Ventrella, %@, %@", false}},
        // Two Latin arguments joined by a neutral become one left-to-right run: in Arabic the
        // first would stand on the left, read last.
        {"ar", {"%@ · %@", "%@ · %@", true}},
        {"ar", {"%@ · %@", fsi + "%@" + pdi + " · " + fsi + "%@" + pdi, false}},
        {"ar", {"Ventrella · %@", "Ventrella · %@", true}},
        {"ar", {"Ventrella · %@", fsi + "Ventrella" + pdi + " · " + fsi + "%@" + pdi, false}},
        // One argument in an Arabic sentence, and numbers between Arabic words, read as written.
        {"ar", {"Settings could not be saved: %@", "تعذر حفظ الإعدادات: %@", false}},
        {"ar", {"%d min %d sec", "%d دقيقة %d ثانية", false}},
        // Numbered arguments put in another order are read in the order written.
        {"ar", {"Sensor read error %d/%d: %@", "خطأ %3$@ في القراءة %1$d من %2$d", false}},
    };
    for (const auto& [language, entry] : cases) {
        const auto problems = readingOrderProblems(tableOf(entry), language);
        EXPECT_EQ(!problems.empty(), entry.faulty) << language << ": " << entry.value;
    }
}

}  // namespace
