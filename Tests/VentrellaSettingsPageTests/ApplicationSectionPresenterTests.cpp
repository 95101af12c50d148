#include "Ventrella/UI/ApplicationSectionPresenter.h"

#include <QSignalSpy>

#include "SettingsPageTest.h"

namespace ventrella::settingspagetests {
namespace {

class ApplicationSectionPresenterTest : public SettingsPageTest {
  protected:
    void makePresenter(bool updateFeed) {
        if (!bridge) {
            makeBridge();
        }
        updateManager = std::make_unique<ui::SparkleUpdateManager>(
            executor, [this] { return std::make_unique<fakes::FakeUpdater>(updater); },
            platform::foundation::InfoDictionary{}, std::nullopt, updateFeed);
        card = std::make_unique<ui::ApplicationSectionPresenter>();
        card->setBridge(bridge.get());
        card->setUpdateManager(updateManager.get());
    }

    std::unique_ptr<ui::ApplicationSectionPresenter> card;
};

TEST_F(ApplicationSectionPresenterTest,
       UpdateControlsDoNothingWithoutAFeedAndWriteThePreferenceAtOnce) {
    for (const bool feed : {false, true}) {
        SCOPED_TRACE(feed ? "feed on" : "feed off");
        updater = std::make_shared<fakes::FakeUpdater::State>();
        makePresenter(feed);
        updater->setCanCheckForUpdates(true);
        run("the updater's value arrives");
        EXPECT_TRUE(card->checkAvailable());
        EXPECT_EQ(card->automaticChecksAvailable(), feed);

        card->checkForUpdates();
        EXPECT_EQ(updater->checks, feed ? 1 : 0);

        // The manager announces the write before the updater has it.
        std::optional<bool> seenAtAnnouncement;
        QObject::connect(updateManager.get(), &ui::SparkleUpdateManager::willChange,
                         [&] { seenAtAnnouncement = updater->automaticallyChecks; });
        card->setAutomaticallyChecksForUpdates(true);
        EXPECT_EQ(updater->automaticallyChecks, feed);
        EXPECT_EQ(card->automaticallyChecksForUpdates(), feed);
        EXPECT_EQ(seenAtAnnouncement, feed ? std::optional<bool>(false) : std::nullopt);

        // No check starts while the updater says none can.
        updater->setCanCheckForUpdates(false);
        run("the updater is busy");
        EXPECT_FALSE(card->checkAvailable());
        card->checkForUpdates();
        EXPECT_EQ(updater->checks, feed ? 1 : 0);
        card.reset();
        updateManager.reset();
    }
}

TEST_F(ApplicationSectionPresenterTest, SaveAndDefaultsNeverTouchTheAutomaticCheckPreference) {
    makePresenter(true);
    card->setAutomaticallyChecksForUpdates(true);
    ui::SettingsPagePresenter page(*bridge);
    page.resetToDefaults();
    page.save();
    run("the save");
    EXPECT_TRUE(updater->automaticallyChecks);
    EXPECT_TRUE(card->automaticallyChecksForUpdates());
}

TEST_F(ApplicationSectionPresenterTest, ActionsReachTheModelOnlyWhenTheirButtonCouldBePressed) {
    makeBridge(false);
    makePresenter(false);
    EXPECT_EQ(card->versionText(), "2.5 (42)");
    EXPECT_EQ(card->helperAction(), "install");

    // The report: the coordinator gets the model's context, at once.
    card->exportDiagnosticReport();
    EXPECT_EQ(reportCoordinator->contexts().size(), 1u);

    // "Install…" starts the installation; meanwhile neither the report nor a second install do
    // anything, although the bridge has not reported the operation yet.
    card->installHelper();
    EXPECT_TRUE(model->operationInProgress());
    card->exportDiagnosticReport();
    EXPECT_EQ(reportCoordinator->contexts().size(), 1u);
    const auto calls = log->entries().size();
    card->installHelper();
    EXPECT_EQ(log->entries().size(), calls);
    run("the installation");
    EXPECT_FALSE(card->reportAvailable() && model->operationInProgress());
}

TEST_F(ApplicationSectionPresenterTest, FollowsTheHelpersStateAsTheModelPublishesIt) {
    makeBridge(false);
    makePresenter(false);
    QSignalSpy changed(card.get(), &ui::ApplicationSectionPresenter::presentationChanged);
    EXPECT_EQ(card->helperStatus(), "Installation required for fan control");
    EXPECT_TRUE(card->showsHelperNote());
    model->startMonitoring();
    run("start-up");
    replyStatus();
    EXPECT_EQ(card->helperStatus(), "Installed and matched to this app");
    EXPECT_FALSE(card->showsHelperNote());
    EXPECT_EQ(card->helperSymbol(), "checkmark.shield.fill");
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(card->hardwareSummary(), QString::fromStdString(model->hardwareSummary()));
}

}  // namespace
}  // namespace ventrella::settingspagetests
