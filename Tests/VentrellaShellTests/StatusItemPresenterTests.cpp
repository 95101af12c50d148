#include "Ventrella/App/Shell/StatusItemPresenter.h"

#include <gtest/gtest.h>

#include "Support/ScopedLocalization.h"

namespace ventrella::shell {
namespace {

using core::AppLanguage;
using core::GuardMode;
using testsupport::ScopedLocalization;

TEST(StatusItemPresenter, GlyphColourTitleToolTipAndLabelFollowTheMode) {
    const ScopedLocalization english(VENTRELLA_APP_BUNDLE_DIR, AppLanguage::english);
    const struct {
        GuardMode mode;
        const char* symbol;
        GlyphTint tint;
        const char* toolTip;
        const char* label;
    } cases[] = {
        {GuardMode::automatic(), "thermometer.medium", GlyphTint::panel,
         "72°\nVentrella · Apple Automatic", "Ventrella, 72°, Apple Automatic"},
        {GuardMode::boost(), "fanblades", GlyphTint::yellow, "72°\nVentrella · Boost",
         "Ventrella, 72°, Boost"},
        {GuardMode::emergency(), "fanblades.fill", GlyphTint::red,
         "72°\nVentrella · Emergency cooling", "Ventrella, 72°, Emergency cooling"},
        {GuardMode::externalManual(), "hand.raised.fill", GlyphTint::panel,
         "72°\nVentrella · External manual control", "Ventrella, 72°, External manual control"},
        {GuardMode::fault("SMC write refused"), "exclamationmark.triangle.fill", GlyphTint::panel,
         "72°\nVentrella · Error", "Ventrella, 72°, Error"},
    };
    for (const auto& c : cases) {
        const auto appearance = StatusItemPresenter::appearance(
            {.menuSymbol = c.symbol, .menuTitle = "72°", .guardMode = c.mode});
        EXPECT_EQ(appearance.symbol, c.symbol);
        EXPECT_EQ(appearance.tint, c.tint) << c.symbol;
        EXPECT_EQ(appearance.title, " 72°");
        EXPECT_EQ(appearance.toolTip, c.toolTip);
        EXPECT_EQ(appearance.accessibilityLabel, c.label);
    }
}

TEST(StatusItemPresenter, TextsComeInTheInterfaceLanguage) {
    const ScopedLocalization german(VENTRELLA_APP_BUNDLE_DIR, AppLanguage::german);
    const auto appearance = StatusItemPresenter::appearance({.menuSymbol = "fanblades.fill",
                                                             .menuTitle = "Lüfter",
                                                             .guardMode = GuardMode::emergency()});
    EXPECT_EQ(appearance.title, " Lüfter");
    EXPECT_EQ(appearance.toolTip, "Lüfter\nVentrella · Notkühlung");
    EXPECT_EQ(appearance.accessibilityLabel, "Ventrella, Lüfter, Notkühlung");
}

}  // namespace
}  // namespace ventrella::shell
