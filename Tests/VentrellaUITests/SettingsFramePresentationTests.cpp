#include "Ventrella/UI/SettingsFramePresentation.h"

#include <gtest/gtest.h>

#include "Support/ScopedEnvironment.h"
#include "Support/ScopedLocalization.h"

namespace ventrella::ui {
namespace {

TEST(SettingsFramePresentation, BadgeStatusRowAndButtonsFollowTheModel) {
    const auto environment = testsupport::ScopedEnvironment::userLocale("en", "en_US.UTF-8");
    const testsupport::ScopedLocalization localization(VENTRELLA_APP_BUNDLE_DIR,
                                                       core::AppLanguage::english);
    const struct {
        SettingsFrameState state;
        const char* badge;
        const char* symbol;
        ColorRole color;
        bool statusRow;
        bool progress;
        bool actions;
    } cases[] = {
        // Nothing running and nothing to say: the footer is only its buttons.
        {{false, false, ""}, "Inactive", "pause.circle", ColorRole::secondary, false, false, true},
        {{true, false, ""},
         "Active",
         "checkmark.circle.fill",
         ColorRole::green,
         false,
         false,
         true},
        {{true, false, "Settings saved."},
         "Active",
         "checkmark.circle.fill",
         ColorRole::green,
         true,
         false,
         true},
        // While an operation runs the row shows its progress and neither button reacts.
        {{false, true, ""}, "Inactive", "pause.circle", ColorRole::secondary, true, true, false},
        {{false, true, "Applying the new settings safely…"},
         "Inactive",
         "pause.circle",
         ColorRole::secondary,
         true,
         true,
         false},
    };
    for (const auto& c : cases) {
        const auto page = SettingsFramePresentation::of(c.state);
        const std::string name = c.state.statusMessage + (c.state.controlEnabled ? " on" : " off") +
                                 (c.state.operationInProgress ? " busy" : "");
        EXPECT_EQ(page.badgeText, c.badge) << name;
        EXPECT_EQ(page.badgeSymbol, c.symbol) << name;
        EXPECT_EQ(colorRoleName(page.badgeColor), colorRoleName(c.color)) << name;
        EXPECT_EQ(page.showsStatusRow, c.statusRow) << name;
        EXPECT_EQ(page.showsProgress, c.progress) << name;
        EXPECT_EQ(page.statusMessage, c.state.statusMessage) << name;
        EXPECT_EQ(page.actionsAvailable, c.actions) << name;
    }
    const auto page = SettingsFramePresentation::of({});
    EXPECT_EQ(page.title, "Settings");
    EXPECT_EQ(page.removalTitle, "Remove Ventrella Helper?");
    EXPECT_EQ(page.removalConfirm, "Return to Automatic and Remove");
    EXPECT_EQ(page.removalCancel, "Cancel");
}

}  // namespace
}  // namespace ventrella::ui
