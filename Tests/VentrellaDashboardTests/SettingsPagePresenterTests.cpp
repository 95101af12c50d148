#include "Ventrella/UI/SettingsPagePresenter.h"

#include <QSignalSpy>
#include <algorithm>

#include "DashboardTest.h"

namespace ventrella::dashboardtests {
namespace {

class SettingsPagePresenterTest : public DashboardTest {};

TEST_F(SettingsPagePresenterTest, TheDraftStartsAsTheModelsSettingsAndKeepsEditsWhileTheyStay) {
    makeBridge();
    ui::SettingsPagePresenter page(*bridge);
    ui::SettingsDraft& draft = *page.draft();
    EXPECT_EQ(draft.settings(), model->settings());

    draft.setBoostEnterBinding(85);
    draft.setBoostPercentBinding(70);
    // The model reports its settings on every poll, unchanged: the edits stay.
    emit bridge->settingsChanged();
    peer->setCurrentTemperature(77.0);
    run("a poll");
    EXPECT_EQ(draft.boostEnterCelsius(), 85);
    EXPECT_EQ(draft.boostPercent(), 70);

    // "Defaults" replaces the whole draft and saves nothing.
    page.resetToDefaults();
    EXPECT_EQ(draft.settings(), core::GuardSettings{});
    EXPECT_EQ(model->settings(), modeltests::englishSettings());
}

TEST_F(SettingsPagePresenterTest, FollowsTheModelsControlAndOperationAtOnce) {
    makeBridge();
    ui::SettingsPagePresenter page(*bridge);
    QSignalSpy changed(&page, &ui::SettingsPagePresenter::presentationChanged);
    EXPECT_EQ(page.badgeText(), "Inactive");
    EXPECT_TRUE(page.actionsAvailable());
    EXPECT_FALSE(page.showsProgress());
    EXPECT_EQ(page.statusMessage(), QString::fromStdString(model->statusMessage()));

    switchControlOn();
    EXPECT_EQ(page.badgeText(), "Active");
    EXPECT_GE(changed.count(), 1);

    // While an operation runs, "Defaults" does nothing.
    installer->installed = true;
    model->installHelper();
    run("the installation starts");
    EXPECT_FALSE(page.actionsAvailable());
    EXPECT_TRUE(page.showsProgress());
    page.draft()->setBoostEnterBinding(85);
    page.resetToDefaults();
    EXPECT_EQ(page.draft()->boostEnterCelsius(), 85);
}

TEST_F(SettingsPagePresenterTest, TheRemovalConfirmationOpensOnRequestAndCancelClosesIt) {
    makeBridge();
    ui::SettingsPagePresenter page(*bridge);
    QSignalSpy confirming(&page, &ui::SettingsPagePresenter::confirmingHelperRemovalChanged);
    page.requestHelperRemoval();
    page.requestHelperRemoval();
    EXPECT_TRUE(page.confirmingHelperRemoval());
    page.cancelHelperRemoval();
    EXPECT_FALSE(page.confirmingHelperRemoval());
    EXPECT_EQ(confirming.count(), 2);
    run("after cancelling");
    const auto& calls = log->entries();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "installer.uninstall"), 0);
    EXPECT_EQ(helper->pendingCount(), 0u);
}

}  // namespace
}  // namespace ventrella::dashboardtests
