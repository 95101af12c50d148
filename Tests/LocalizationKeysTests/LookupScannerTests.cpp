#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "LookupScanner.h"
#include "SourceTokenizer.h"

namespace {

using ventrella::tests::findCalls;
using ventrella::tests::literalsNamed;
using ventrella::tests::referencedName;
using ventrella::tests::SourceLanguage;
using ventrella::tests::tokenize;

struct Found {
    std::string callee;
    std::string argument;
    std::optional<std::string> key;
    int line;

    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& stream, const Found& found) {
    return stream << found.callee << "(" << found.argument << ") line " << found.line
                  << (found.key ? " key [" + *found.key + "]" : " no key");
}

std::vector<Found> scan(const std::string& source, SourceLanguage language) {
    const std::vector<std::string> callees = {"L10n::string", "L10n::format", "qsTr"};
    std::vector<Found> found;
    for (const auto& call : findCalls(tokenize(source, language), callees)) {
        found.push_back({call.callee, call.argument, call.key, call.line});
    }
    return found;
}

struct ScanCase {
    const char* name;
    SourceLanguage language;
    std::string source;
    std::vector<Found> expected;
};

TEST(LookupScanner, FindsKeysAsTheCompilerAndQmlSeeThem) {
    using enum SourceLanguage;
    const std::vector<ScanCase> cases = {
        {"qualified and unqualified callee",
         cpp,
         "core::L10n::format(\"Fan %d\", id + 1);\nL10n::string(\"Boost\");",
         {{"L10n::format", "\"Fan %d\"", "Fan %d", 1}, {"L10n::string", "\"Boost\"", "Boost", 2}}},
        {"adjacent literals across lines are one key",
         cpp,
         "L10n::string(\"Approve \"\n    \"it.\")",
         {{"L10n::string", "\"Approve it.\"", "Approve it.", 1}}},
        {"comments hide calls",
         cpp,
         "// L10n::string(\"Old\")\n/* L10n::string(\"Older\")\n */ L10n::string(\"New\")",
         {{"L10n::string", "\"New\"", "New", 3}}},
        {"escapes are decoded",
         cpp,
         R"(L10n::string("A \"b\" \\ \u00b0C\x21"))",
         {{"L10n::string", "\"A \"b\" \\ °C!\"", "A \"b\" \\ °C!", 1}}},
        {"raw strings and prefixes",
         cpp,
         "L10n::string(R\"x(a \"b\")x\"); L10n::string(u8\"c\")",
         {{"L10n::string", "\"a \"b\"\"", "a \"b\"", 1}, {"L10n::string", "\"c\"", "c", 1}}},
        {"a quote in a character literal or a digit separator opens no string",
         cpp,
         "if (c == '\"' || n == 1'000) L10n::string(\"Yes\");",
         {{"L10n::string", "\"Yes\"", "Yes", 1}}},
        {"an argument that is not one literal has no key",
         cpp,
         "L10n::string(text_); L10n::format(\"a\" + b, 1)",
         {{"L10n::string", "text_", std::nullopt, 1},
          {"L10n::format", "\"a\" + b", std::nullopt, 1}}},
        {"declarations, definitions and other callees are not lookups",
         cpp,
         "std::string L10n::string(std::string_view key) {}\n"
         "void f(const char* title); Other::string(\"x\"); string(\"y\"); L10n::string();",
         {}},
        {"QML strings in either quote mark",
         qml,
         "text: qsTr('Single') + qsTr(\"Double \\u00b7 dot\")",
         {{"qsTr", "\"Single\"", "Single", 1}, {"qsTr", "\"Double · dot\"", "Double · dot", 1}}},
        {"QML template literals and apostrophes in strings",
         qml,
         "a: `it's \"x\"`\nb: \"it's\"\nc: qsTr(\"After\")",
         {{"qsTr", "\"After\"", "After", 3}}},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(scan(test.source, test.language), test.expected) << test.name;
    }
}

TEST(LookupScanner, UnterminatedLiteralsAndCommentsAreErrors) {
    for (const std::string source : {"L10n::string(\"open", "/* open", "R\"x(open)\"", "'a"}) {
        EXPECT_THROW(tokenize(source, SourceLanguage::cpp), std::runtime_error) << source;
    }
    EXPECT_THROW(tokenize("qsTr('open", SourceLanguage::qml), std::runtime_error);
}

TEST(LookupScanner, FindsTheLiteralsGivenToAName) {
    const auto tokens = tokenize(
        "static constexpr std::string_view kA = \"Alpha\";\n"
        "return {Kind::beta, \"Beta \"\n \"text\"};\n"
        "enum class Kind { beta, gamma };\n"
        "kA == other;",
        SourceLanguage::cpp);
    const auto alpha = literalsNamed(tokens, "kA");
    ASSERT_EQ(alpha.size(), 1u);
    EXPECT_EQ(alpha[0].text, "Alpha");
    EXPECT_EQ(alpha[0].line, 1);
    const auto beta = literalsNamed(tokens, "beta");
    ASSERT_EQ(beta.size(), 1u);
    EXPECT_EQ(beta[0].text, "Beta text");
    EXPECT_TRUE(literalsNamed(tokens, "gamma").empty());
}

TEST(LookupScanner, ResolvesOnlyArgumentsThatNameAConstant) {
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"kNotEnabled", "kNotEnabled"},
        {"SMCReadClient :: noFanReason", "noFanReason"},
        {"std :: string ( noProxyText )", "noProxyText"},
        {"std :: string_view ( a :: b )", "b"},
        {"* refusal", std::nullopt},
        {"error . what ( )", std::nullopt},
        {"a ? b : c", std::nullopt},
        {"\"Boost\"", std::nullopt},
        {"std :: move ( text )", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [argument, name] : cases) {
        EXPECT_EQ(referencedName(argument), name) << argument;
    }
}

}  // namespace
