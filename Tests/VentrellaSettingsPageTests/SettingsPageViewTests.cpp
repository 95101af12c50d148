#include <QSignalSpy>

#include "SettingsPageTest.h"

namespace ventrella::settingspagetests {
namespace {

using modeltests::Request;

class SettingsPageViewTest : public SettingsPageTest {};

TEST_F(SettingsPageViewTest, OpeningThePageWritesNothingToTheDraftOrTheModel) {
    initialSettings = modeltests::englishSettings();
    initialSettings->boostEnterCelsius = 84;
    initialSettings->pollIntervalSeconds = 2.6;
    makeBridge();
    int writes = 0;
    const auto counting = model->subscribeWillChange([&](model::PublishedField) { ++writes; });
    openSettings();
    QSignalSpy edits(&draft(), &ui::SettingsDraft::changed);
    waitForAnimations();
    for (const char* name : {"applicationCard", "helperRow", "languageMenu"}) {
        reveal(name);
    }
    step("after loading");
    EXPECT_EQ(edits.count(), 0);
    EXPECT_EQ(writes, 0) << "loading the page wrote to the model";
    EXPECT_EQ(draft().settings(), model->settings());
    // The card shows the draft: its language, and the interval in whole seconds.
    EXPECT_EQ(QQmlProperty::read(item("languageMenu"), "displayText").toString(), "English");
    auto* sampling = item("sampling");
    ASSERT_NE(sampling, nullptr);
    auto* value = sampling->findChild<QQuickItem*>(QStringLiteral("valueText"));
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(QQmlProperty::read(value, "text").toString(), "3 sec");
    model->unsubscribeWillChange(counting);

    // The cards and the note are padded 14 points on every side, below the note too.
    auto* note = onPage("note");
    const QPointF end =
        note->mapToItem(item("cards")->parentItem(), {note->width(), note->height()});
    EXPECT_EQ(item("cards")->position(), QPointF(14, 14));
    EXPECT_DOUBLE_EQ(QQmlProperty::read(item("scrollArea"), "contentHeight").toDouble(),
                     end.y() + 14);
    EXPECT_DOUBLE_EQ(QQmlProperty::read(item("scrollArea"), "contentWidth").toDouble(),
                     end.x() + 14);
}

TEST_F(SettingsPageViewTest, DefaultsThenBackSavesNothingAndTheNextOpeningShowsTheSavedValues) {
    initialSettings = modeltests::englishSettings();
    initialSettings->boostEnterCelsius = 84;
    initialSettings->launchAtLogin = true;
    makeBridge();
    const core::GuardSettings saved = model->settings();
    const int writesBefore = defaults->writes;
    openSettings();
    click("defaultsButton");
    EXPECT_EQ(draft().settings(), core::GuardSettings{});
    reveal("launchAtLogin");
    EXPECT_FALSE(QQmlProperty::read(switchOf("launchAtLogin"), "checked").toBool());
    click("backButton");
    waitForAnimations();
    step("closing");
    EXPECT_FALSE(presenter->showingSettings());
    EXPECT_EQ(model->settings(), saved);
    EXPECT_EQ(defaults->writes, writesBefore);

    click("settingsButton");
    waitForAnimations();
    EXPECT_EQ(draft().settings(), saved);
}

TEST_F(SettingsPageViewTest, ReturnSavesTheDraftAndARejectedSaveKeepsTheEdits) {
    makeBridge();
    openSettings();
    draft().setBoostEnterBinding(85);
    draft().setPollIntervalBinding(4);

    // The store refuses the write: the model keeps its settings, the page its edits.
    defaults->failNextWrite();
    click("saveButton");
    step("the rejected save");
    EXPECT_EQ(model->settings().boostEnterCelsius, 80);
    EXPECT_EQ(draft().boostEnterCelsius(), 85);
    EXPECT_EQ(draft().pollIntervalBinding(), 4);
    EXPECT_TRUE(QQmlProperty::read(onPage("statusMessage"), "text")
                    .toString()
                    .startsWith("Settings could not be saved"));

    // Return, with no control taking it, saves.
    item("settingsPage")->forceActiveFocus();
    QTest::keyClick(&view.window(), Qt::Key_Return);
    step("the save");
    EXPECT_EQ(model->settings().boostEnterCelsius, 85);
    EXPECT_EQ(model->settings().pollIntervalSeconds, 4);
    EXPECT_EQ(draft().settings(), model->settings());
    EXPECT_EQ(QQmlProperty::read(onPage("statusMessage"), "text").toString(), "Settings saved.");
}

TEST_F(SettingsPageViewTest, AChosenLanguageActsOnlyOnSaveThenThePageTranslatesAndTurnsAtOnce) {
    makeBridge();
    openSettings();
    auto* menu = item("languageMenu");
    ASSERT_NE(menu, nullptr);
    const QVariantList choices = QQmlProperty::read(menu, "choices").toList();
    ASSERT_EQ(choices.size(), 16);
    EXPECT_EQ(choices.front().toMap().value("text").toString(), "System Default");

    const struct {
        const char* language;
        const char* title;
        const char* coolingPower;
        bool rightToLeft;
    } cases[] = {
        {"de", "Einstellungen", "Kühlleistung", false},
        {"ar", "الإعدادات", "Cooling power", true},
        {"en", "Settings", "Cooling power", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.language);
        int index = -1;
        for (int at = 0; at < choices.size(); ++at) {
            if (choices[at].toMap().value("value").toString() == c.language) {
                index = at;
            }
        }
        ASSERT_GE(index, 0);
        // The user picks the entry: the draft changes, the page does not.
        const QString before = text("backButton");
        QMetaObject::invokeMethod(menu, "activated", Q_ARG(int, index));
        settle();
        EXPECT_EQ(draft().appLanguage(), c.language);
        EXPECT_EQ(QQmlProperty::read(menu, "displayText").toString(),
                  choices[index].toMap().value("text").toString());
        EXPECT_EQ(text("backButton"), before);

        click("saveButton");
        step("the save");
        EXPECT_EQ(text("backButton"), c.title);
        auto* coolingPower = item("coolingPower");
        ASSERT_NE(coolingPower, nullptr);
        EXPECT_EQ(QQmlProperty::read(coolingPower, "title").toString(), c.coolingPower);
        EXPECT_EQ(QQmlProperty::read(view.root(), "rightToLeft").toBool(), c.rightToLeft);
        EXPECT_TRUE(presenter->showingSettings()) << "the page closed";
        if (std::string(c.language) != "en") {
            screenshot(std::string("settings-page-") + c.language + ".png");
            reveal("helperButton");
            screenshot(std::string("application-card-") + c.language + ".png");
            reveal("backButton");
        }
    }
}

TEST_F(SettingsPageViewTest, WhileAnOperationRunsOnlyTheActionsAreDisabled) {
    makeBridge();
    openSettings();
    reveal("helperRow");
    ASSERT_EQ(QQmlProperty::read(onPage("helperButton"), "text").toString(), "Remove…");
    ASSERT_TRUE(enabled("helperButton"));
    ASSERT_TRUE(enabled("reportButton"));

    // An installation runs, waiting for the helper.
    installer->installed = true;
    model->installHelper();
    step("the installation starts");
    ASSERT_TRUE(model->operationInProgress());
    for (const char* name : {"reportButton", "helperButton", "saveButton", "defaultsButton"}) {
        EXPECT_FALSE(enabled(name)) << name;
        // Label and symbol dim with the background.
        EXPECT_DOUBLE_EQ(QQmlProperty::read(item(name), "contentItem.opacity").toDouble(), 0.45);
    }
    screenshot("settings-operation-running.png");
    for (const char* name : {"languageMenu", "sampling", "launchAtLogin", "automaticChecks"}) {
        EXPECT_TRUE(enabled(name)) << name;
    }
    EXPECT_TRUE(switchOf("automaticChecks")->isEnabled());
    // The counter still writes the draft.
    auto* sampling = item("sampling");
    auto* increase = sampling->findChild<QQuickItem*>(QStringLiteral("increase"));
    ASSERT_NE(increase, nullptr);
    reveal("sampling");
    QTest::mouseClick(
        &view.window(), Qt::LeftButton, {},
        increase->mapToScene(QPointF(increase->width() / 2, increase->height() / 2)).toPoint());
    EXPECT_EQ(draft().pollIntervalBinding(), 4);
    while (helper->pendingCount() > 0) {
        replyStatus();
    }
    settle();
    EXPECT_FALSE(model->operationInProgress());
    EXPECT_TRUE(enabled("reportButton"));
}

TEST_F(SettingsPageViewTest, RemoveOnlyAsksAndTheConfirmationHasTheModelRemoveTheHelper) {
    installer->installed = true;
    makeBridge();
    openSettings();
    ASSERT_TRUE(model->helperReady());
    clickOnPage("helperButton");
    EXPECT_TRUE(page().confirmingHelperRemoval());
    EXPECT_TRUE(alertOpen("removalDialog"));
    run("after asking");
    EXPECT_EQ(helper->pendingCount(), 0u) << "pressing Remove… did more than ask";

    press("removalDialog", "alertConfirm");
    EXPECT_FALSE(page().confirmingHelperRemoval());
    run("the removal starts");
    ASSERT_EQ(helper->pendingCount(), 1u);
    EXPECT_EQ(nextRequest(), Request::status);
    helper->reply(shared::HelperStatus{});
    run("the removal");
    const auto& calls = log->entries();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "installer.uninstall"), 1);
}

}  // namespace
}  // namespace ventrella::settingspagetests
