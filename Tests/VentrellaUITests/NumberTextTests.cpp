#include "Ventrella/UI/NumberText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "Support/ScopedLocalization.h"

namespace ventrella::ui {
namespace {

TEST(NumberText, TruncatesTowardZeroWithinTheIntegersRange) {
    const struct {
        double value;
        std::int64_t whole;
    } cases[] = {
        {80.9, 80},
        {80.0, 80},
        {-3.7, -3},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {1e300, std::numeric_limits<std::int64_t>::max()},
        {-1e300, std::numeric_limits<std::int64_t>::min()},
        {9223372036854775808.0, std::numeric_limits<std::int64_t>::max()},
    };
    for (const auto& [value, whole] : cases) {
        EXPECT_EQ(NumberText::truncated(value), whole) << value;
    }
}

TEST(NumberText, WritesNumbersUnderTheInterfaceLanguagesLocaleWithoutLookingThePatternUp) {
    const testsupport::ScopedLocalization german(VENTRELLA_APP_BUNDLE_DIR,
                                                 core::AppLanguage::german);
    EXPECT_EQ(NumberText::decimal(72.44, 1), "72,4");
    EXPECT_EQ(NumberText::formatted("%.1f°C", 72.45), "72,5°C");
    EXPECT_EQ(NumberText::formatted("%.0f°", 79.6), "80°");
    // A pattern that does not fit its arguments is shown as it stands.
    EXPECT_EQ(NumberText::formatted("%.1f°C", "hot"), "%.1f°C");

    core::L10n::setLanguage(core::AppLanguage::english);
    EXPECT_EQ(NumberText::decimal(72.44, 1), "72.4");
}

}  // namespace
}  // namespace ventrella::ui
