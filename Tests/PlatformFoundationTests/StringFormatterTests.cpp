#include "Platform/Foundation/StringFormatter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/LocaleNumberFormatter.h"

namespace {

using namespace platform::foundation;
using Kind = FormatArgumentKind;

std::optional<std::string> formatted(std::string_view format, std::vector<FormatArgument> arguments,
                                     const char* locale = "en") {
    return StringFormatter(Locale(locale)).format(format, arguments);
}

TEST(StringFormatter, FillsEachKindOfPlaceholder) {
    struct Case {
        std::string format;
        std::vector<FormatArgument> arguments;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"Fans: %d", {2}, "Fans: 2"},
        {"%ld and %lld", {-7, std::int64_t{9000000000}}, "-7 and 9000000000"},
        {"%@: %d%% · %@ RPM", {"Boost", 55, "2400, 2500"}, "Boost: 55% · 2400, 2500 RPM"},
        {"%.1f°C", {71.25}, "71.2°C"},
        {"%.0f°", {71.5}, "72°"},
        {"%f", {1.5}, "1.500000"},
        {"%2$@ before %1$@", {"one", "two"}, "two before one"},
        {"%1$@ %1$@ %2$.1f", {"twice", 0.25}, "twice twice 0.2"},
        {"100%% plain", {}, "100% plain"},
        {"", {}, ""},
    };
    for (const auto& [format, arguments, expected] : cases) {
        EXPECT_EQ(formatted(format, arguments), expected) << format;
    }
}

TEST(StringFormatter, RefusesFormatsThatDoNotFitTheirArguments) {
    struct Case {
        std::string format;
        std::vector<FormatArgument> arguments;
    };
    const std::vector<Case> cases = {
        {"%d", {}},        // too few
        {"%d", {1, 2}},    // an argument left over
        {"%d", {"text"}},  // wrong kinds
        {"%@", {1}},          {"%.1f", {1}},
        {"%d", {1.5}},        {"%s", {"text"}},  // unknown conversions
        {"%5d", {1}},         {"%x", {1}},
        {"%.f", {1.5}},       {"%.21f", {1.5}},
        {"trailing %", {}},   {"%1$@ %@", {"a", "b"}},  // positions mixed with plain placeholders
        {"%2$@", {"a", "b"}},                           // a position left unused
        {"%3$@", {"a"}},      {"%0$@", {"a"}},
        {"%1$@ %1$d", {"a"}},  // one argument taken as two kinds
        {"%100$@", {"a"}},
    };
    for (const auto& [format, arguments] : cases) {
        EXPECT_EQ(formatted(format, arguments), std::nullopt) << format;
    }
}

TEST(StringFormatter, ReportsTheArgumentKindsOfAFormat) {
    using Kinds = std::vector<Kind>;
    EXPECT_EQ(StringFormatter::argumentKinds("Sensor read error %d/%d: %@"),
              (Kinds{Kind::integer, Kind::integer, Kind::text}));
    EXPECT_EQ(StringFormatter::argumentKinds("%2$.1f %1$@ %%"), (Kinds{Kind::text, Kind::number}));
    EXPECT_EQ(StringFormatter::argumentKinds("No placeholder"), Kinds{});
    EXPECT_EQ(StringFormatter::argumentKinds("50 % off"), std::nullopt);
}

TEST(StringFormatter, WritesNumbersWithTheLocalesSeparatorAndDigitsOnly) {
    struct Case {
        const char* locale;
        std::string format;
        std::vector<FormatArgument> arguments;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"de", "%.1f°C", {71.25}, "71,2°C"},
        {"fr", "%.1f", {-3.25}, "-3,2"},
        {"de", "%.1f", {1234567.5}, "1234567,5"},  // never a grouping separator
        {"de", "%d", {1234567}, "1234567"},
        {"en", "%.1f", {1234567.5}, "1234567.5"},
        {"pt-BR", "%.2f", {0.125}, "0,12"},
        {"zh-Hans", "%.1f", {2.5}, "2.5"},
        {"ar", "%d", {2024}, "٢٠٢٤"},
        {"de", "%@ %d", {"1.5", 3}, "1.5 3"},  // text is left alone
    };
    for (const auto& [locale, format, arguments, expected] : cases) {
        EXPECT_EQ(formatted(format, arguments, locale), expected) << locale << " " << format;
    }
}

TEST(LocaleNumberFormatter, RoundsTheBinaryValueAsPrintfDoes) {
    const LocaleNumberFormatter english(Locale("en"));
    EXPECT_EQ(english.decimal(0.35, 1), "0.3");  // 0.35 is slightly below 0.35 in binary
    EXPECT_EQ(english.decimal(0.45, 1), "0.5");
    EXPECT_EQ(english.decimal(2.5, 0), "2");  // a tie goes to the even digit
    EXPECT_EQ(english.decimal(-0.04, 1), "-0.0");
    EXPECT_EQ(english.decimal(1e300, 0).size(), 301u);
    EXPECT_EQ(english.decimal(std::numeric_limits<double>::quiet_NaN(), 1), "nan");
    EXPECT_EQ(english.decimal(-std::numeric_limits<double>::infinity(), 1), "-inf");
    EXPECT_EQ(english.integer(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(english.decimal(1.0, 99),
              english.decimal(1.0, LocaleNumberFormatter::maximumFractionDigits));
    // An unknown locale writes plain numbers.
    EXPECT_EQ(LocaleNumberFormatter(Locale("not a tag!")).decimal(1.5, 1), "1.5");
}

}  // namespace
