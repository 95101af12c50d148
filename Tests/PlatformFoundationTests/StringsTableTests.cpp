#include "Platform/Foundation/StringsTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Platform/Foundation/StringsTableCache.h"
#include "Support/TemporaryBundle.h"

namespace {

using platform::foundation::StringsTable;
using platform::foundation::StringsTableCache;
using Entries = StringsTable::Entries;

TEST(StringsTable, ReadsTheFormatWithItsCommentsAndEscapes) {
    struct Case {
        std::string text;
        Entries expected;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"  /* only a comment */\n// and another\n", {}},
        {"\"Boost\" = \"Boost\";", {{"Boost", "Boost"}}},
        {"/* a */ \"a\" /* b */ = /* c */ \"b\" /* d */ ; // e\n\"c\"=\"d\";",
         {{"a", "b"}, {"c", "d"}}},
        {"\xEF\xBB\xBF\"key\" = \"value\";", {{"key", "value"}}},
        {"\"q\" = \"say \\\"hi\\\" \\\\ \\'x\\'\";", {{"q", "say \"hi\" \\ 'x'"}}},
        {"\"n\" = \"a\\nb\\tc\\rd\";", {{"n", "a\nb\tc\rd"}}},
        {"\"u\" = \"\\U00e9\\u20AC \\UD83D\\UDE00\";", {{"u", "é€ 😀"}}},
        {"\"o\" = \"\\101\\102\";", {{"o", "AB"}}},
        {"\"°\" = \"Grad – °\";", {{"°", "Grad – °"}}},
        {"bare_Key.1 = value-2/x;", {{"bare_Key.1", "value-2/x"}}},
        {"\"alone\";", {{"alone", "alone"}}},
        {"\"dup\" = \"first\"; \"dup\" = \"last\";", {{"dup", "last"}}},
        {"\"%d%%\" = \"%d %%\";", {{"%d%%", "%d %%"}}},
    };
    for (const auto& [text, expected] : cases) {
        auto table = StringsTable::parse(text);
        ASSERT_TRUE(table.has_value()) << text;
        EXPECT_EQ(table->entries(), expected) << text;
    }
}

TEST(StringsTable, RefusesMalformedText) {
    const std::vector<std::string> cases = {
        "\"a\" = \"b\"",              // no semicolon
        "\"a\" = \"b",                // unterminated string
        "\"a\" \"b\";",               // no equals sign
        "\"a\" = ;",                  // no value
        "= \"b\";",                   // no key
        "\"a\" = \"b\"; /* open",     // unterminated comment
        "\"a\" = \"\\UD83D\";",       // high surrogate alone
        "\"a\" = \"\\UDE00\";",       // low surrogate alone
        "\"a\" = \"\\Uzz\";",         // no hex digits
        "\"a\" = \"\xC3\";",          // not UTF-8
        "\"a\" = \"\xED\xA0\x80\";",  // an encoded surrogate
        "{ \"a\" = \"b\"; }",         // a dictionary, not a table
        "\"a\" = \"b\\",              // escape at the end
    };
    for (const auto& text : cases) {
        EXPECT_EQ(StringsTable::parse(text), std::nullopt) << text;
    }
}

TEST(StringsTable, LoadsFilesWithinTheSizeLimit) {
    ventrella::testsupport::TemporaryBundle bundle;
    const auto good = bundle.write(bundle.path() / "good.strings", "\"a\" = \"b\";");
    EXPECT_EQ(StringsTable::load(good)->entries(), (Entries{{"a", "b"}}));
    EXPECT_EQ(StringsTable::load(bundle.path() / "missing.strings"), std::nullopt);
    EXPECT_EQ(StringsTable::load(bundle.path()), std::nullopt);  // a folder

    std::string huge = "\"a\" = \"";
    huge.append(StringsTable::maximumFileSize, 'x');
    huge += "\";";
    const auto large = bundle.write(bundle.path() / "large.strings", huge);
    EXPECT_EQ(StringsTable::load(large), std::nullopt);
}

TEST(StringsTableCache, ReadsAFileOnceAndTellsMissingFromMalformed) {
    ventrella::testsupport::TemporaryBundle bundle;
    auto& cache = StringsTableCache::shared();
    const auto path = bundle.write(bundle.path() / "once.strings", "\"a\" = \"first\";");
    const auto first = cache.table(path);
    ASSERT_NE(first, nullptr);
    bundle.write(path, "\"a\" = \"second\";");
    EXPECT_EQ(cache.table(path), first);
    EXPECT_EQ(cache.table(path)->value("a"), "first");

    EXPECT_EQ(cache.table(bundle.path() / "none.strings"), nullptr);

    const auto broken = bundle.write(bundle.path() / "broken.strings", "\"a\" = ");
    const auto empty = cache.table(broken);
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->empty());
}

}  // namespace
