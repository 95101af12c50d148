#include <QQuickItem>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

#include "DashboardTest.h"
#include "Ventrella/UI/Theme.h"

namespace ventrella::dashboardtests {
namespace {

using modeltests::fansIn;
using modeltests::Request;

class MenuContentViewTest : public DashboardTest {};

TEST_F(MenuContentViewTest, LoadsInEveryStateWithoutWritingToTheModel) {
    const struct {
        const char* name;
        bool startUp;
        std::vector<shared::FanInfo> fans;
        bool approvalPrompt;
    } cases[] = {
        {"before start-up", false, {}, false},
        {"ready", true, fansIn(Mode::automatic), false},
        {"another application's fans", true, fansIn(Mode::manual), false},
        {"approval asked for", true, fansIn(Mode::automatic), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        makeBridge(c.startUp, c.fans);
        if (c.approvalPrompt) {
            model->setHelperApprovalPromptPresented(true);
            run("raising the prompt");
        }
        int writes = 0;
        const auto counting = model->subscribeWillChange([&](model::PublishedField) { ++writes; });
        ASSERT_NE(open(), nullptr);
        step("loading");
        EXPECT_EQ(writes, 0) << "loading the view wrote to the model";
        EXPECT_TRUE(shown("dashboard"));
        EXPECT_EQ(alertOpen("approvalAlert"), c.approvalPrompt);
        EXPECT_FALSE(alertOpen("takeoverAlert"));
        model->unsubscribeWillChange(counting);
        closeModel();
    }
}

TEST_F(MenuContentViewTest, ShowsTheModelsReadingsAndFollowsThem) {
    makeBridge();
    peer->setCurrentTemperature(72.44);
    ASSERT_NE(open(), nullptr);
    step();
    EXPECT_EQ(text("title"), "Ventrella");
    EXPECT_EQ(text("temperature"), "72.4°C");
    EXPECT_EQ(text("temperatureDetail"), "CPU average · —");
    EXPECT_EQ(QQmlProperty::read(item("fansHeader"), "text").toString(), "Fans: 2");
    EXPECT_EQ(text("controlSubtitle"), "Inactive — monitoring only");
    EXPECT_FALSE(shown("helperRow"));
    EXPECT_EQ(QQmlProperty::read(item("gauge"), "temperature").toDouble(), 72.44);

    // A change reaches the view only in a later step of the model's executor.
    peer->setCurrentTemperature(std::nullopt);
    uitest::QtTestApplication::processPending();
    EXPECT_EQ(text("temperature"), "72.4°C");
    step("the reading went");
    EXPECT_EQ(text("temperature"), "—");
    EXPECT_FALSE(QQmlProperty::read(item("gauge"), "temperature").isValid());
}

TEST_F(MenuContentViewTest, TheSwitchAsksOnlyOnATouchAndThenShowsWhatTheModelDid) {
    makeBridge();
    ASSERT_NE(open(), nullptr);
    step();
    auto* toggle = item("controlSwitch");
    ASSERT_NE(toggle, nullptr);
    ASSERT_TRUE(toggle->isEnabled());
    const auto checked = [toggle] { return QQmlProperty::read(toggle, "checked").toBool(); };
    const std::size_t before = requestCount();

    // The model is busy with an installation the view has not heard of yet: it ignores the
    // request, and the switch goes back to off at once.
    installer->installed = true;
    model->installHelper();
    ASSERT_TRUE(model->operationInProgress());
    click("controlSwitch");
    EXPECT_FALSE(checked()) << "the switch did not snap back";
    EXPECT_FALSE(model->controlEnabled());
    EXPECT_EQ(requestCount(), before);
    step("the installation");
    while (helper->pendingCount() > 0) {
        replyStatus();
    }
    settle();
    ASSERT_FALSE(model->operationInProgress());
    ASSERT_TRUE(toggle->isEnabled());

    // Taken: off until the model publishes control on, then on.
    click("controlSwitch");
    EXPECT_FALSE(checked());
    run("the request");
    replyStatus();
    settle();
    ASSERT_TRUE(model->controlEnabled()) << model->statusMessage();
    EXPECT_TRUE(checked());
    EXPECT_EQ(text("controlSubtitle"), "Active");

    // The model switching control off moves the switch without asking anything.
    const std::size_t requests = requestCount();
    start(peer->disableControl("test"));
    settle();
    EXPECT_FALSE(checked());
    EXPECT_FALSE(model->controlEnabled());
    EXPECT_EQ(requestCount(), requests) << "a value change asked the model";
}

TEST_F(MenuContentViewTest, TakeControlAfterTheTakeoverIsNoLongerPossibleChangesNothing) {
    makeBridge(true, fansIn(Mode::manual));
    ASSERT_NE(open(), nullptr);
    step();
    ASSERT_TRUE(model->canTakeOverControl());
    ASSERT_TRUE(shown("takeOver"));
    click("takeOver");
    EXPECT_TRUE(alertOpen("takeoverAlert"));

    // Meanwhile an installation starts, which rules out a takeover.
    installer->installed = true;
    model->installHelper();
    ASSERT_FALSE(model->canTakeOverControl());
    const std::size_t before = requestCount();
    press("takeoverAlert", "alertConfirm");
    EXPECT_FALSE(alertOpen("takeoverAlert"));
    EXPECT_FALSE(presenter->showingTakeoverConfirmation());
    run("after the confirmation");
    for (const auto& request :
         std::vector(helper->requests().begin() + before, helper->requests().end())) {
        EXPECT_NE(request.request, Request::prepareTakeover);
    }
    EXPECT_FALSE(model->controlEnabled());
}

TEST_F(MenuContentViewTest, TakeControlAsksTheModelAndCancelDoesNot) {
    makeBridge(true, fansIn(Mode::manual));
    ASSERT_NE(open(), nullptr);
    step();
    click("takeOver");
    ASSERT_TRUE(alertOpen("takeoverAlert"));
    press("takeoverAlert", "alertCancel");
    EXPECT_FALSE(alertOpen("takeoverAlert"));
    run("after cancelling");
    EXPECT_EQ(helper->pendingCount(), 0u);

    click("takeOver");
    ASSERT_TRUE(alertOpen("takeoverAlert"));
    press("takeoverAlert", "alertConfirm");
    run("taking over");
    ASSERT_GT(helper->pendingCount(), 0u);
    EXPECT_EQ(nextRequest(), Request::prepareTakeover);
}

TEST_F(MenuContentViewTest, TheApprovalAlertFollowsTheModelsFlag) {
    makeBridge();
    ASSERT_NE(open(), nullptr);
    step();
    EXPECT_FALSE(alertOpen("approvalAlert"));

    // Raised by the model: the alert opens; "Open System Settings" acts once, while the flag is
    // still up, and the dismissal that follows writes nothing more.
    model->setHelperApprovalPromptPresented(true);
    step("raising the prompt");
    ASSERT_TRUE(alertOpen("approvalAlert"));
    EXPECT_EQ(text("alertTitle"), "Ventrella Fan Helper Approval Required");
    int writes = 0;
    const auto counting = model->subscribeWillChange([&](model::PublishedField field) {
        writes += field == model::PublishedField::helperApprovalPromptPresented ? 1 : 0;
    });
    press("approvalAlert", "alertConfirm");
    step("opening the settings");
    EXPECT_EQ(settingsOpener->loginItemsOpened.load(), 1);
    EXPECT_FALSE(model->helperApprovalPromptPresented());
    EXPECT_EQ(writes, 1);
    EXPECT_FALSE(alertOpen("approvalAlert"));

    // Cancel lowers the flag and opens nothing.
    model->setHelperApprovalPromptPresented(true);
    step("raising it again");
    ASSERT_TRUE(alertOpen("approvalAlert"));
    press("approvalAlert", "alertCancel");
    step("cancelling");
    EXPECT_FALSE(model->helperApprovalPromptPresented());
    EXPECT_EQ(settingsOpener->loginItemsOpened.load(), 1);
    EXPECT_FALSE(alertOpen("approvalAlert"));

    // Lowered by the model: the alert closes.
    model->setHelperApprovalPromptPresented(true);
    step("raising it a third time");
    ASSERT_TRUE(alertOpen("approvalAlert"));
    model->setHelperApprovalPromptPresented(false);
    step("the model lowered it");
    EXPECT_FALSE(alertOpen("approvalAlert"));
    model->unsubscribeWillChange(counting);
}

TEST_F(MenuContentViewTest, EveryOpeningStartsOnTheDashboardWithAFreshSettingsDraft) {
    makeBridge();
    ASSERT_NE(open(), nullptr);
    step();
    click("settingsButton");
    waitForAnimations();
    ASSERT_TRUE(presenter->showingSettings());
    EXPECT_FALSE(shown("dashboard"));
    ASSERT_TRUE(shown("settingsPage"));
    ui::SettingsDraft* draft = presenter->settingsPage()->draft();
    EXPECT_EQ(draft->settings(), model->settings());
    draft->setBoostEnterBinding(86);
    ASSERT_EQ(draft->boostEnterCelsius(), 86);

    // Back, and in again: a new page with the model's settings.
    click("backButton");
    waitForAnimations();
    EXPECT_FALSE(presenter->showingSettings());
    EXPECT_TRUE(shown("dashboard"));
    presenter->openSettings();
    settle();
    ASSERT_NE(presenter->settingsPage(), nullptr);
    EXPECT_EQ(presenter->settingsPage()->draft()->boostEnterCelsius(), 80);

    // A new opening builds new content: the dashboard, whatever the last one showed.
    ASSERT_NE(open(), nullptr);
    step("reopening");
    EXPECT_FALSE(presenter->showingSettings());
    EXPECT_TRUE(shown("dashboard"));
    EXPECT_FALSE(shown("settingsPage"));
}

TEST_F(MenuContentViewTest, TheButtonsThatActReachTheModelOnlyWhenNoOperationRuns) {
    enum class Action { save, saveByReturn, remove, quit };
    const struct {
        const char* name;
        Action action;
        bool operationRunning;
    } cases[] = {
        {"Save", Action::save, false},
        {"Return", Action::saveByReturn, false},
        {"Return to Automatic and Remove", Action::remove, false},
        {"Quit", Action::quit, false},
        // Last: the installation is left waiting.
        {"Save while installing", Action::save, true},
        {"Return while installing", Action::saveByReturn, true},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        makeBridge();
        ASSERT_NE(open(), nullptr);
        step();
        if (test.operationRunning) {
            installer->installed = true;
            model->installHelper();
            step("the installation starts");
            ASSERT_TRUE(model->operationInProgress());
        }
        const core::GuardSettings before = model->settings();
        if (test.action == Action::quit) {
            click("quitButton");
            run("quitting");
            // Control was off and no target of the model's is on the fans: it ends at once.
            EXPECT_EQ(terminations, 1);
            EXPECT_EQ(helper->pendingCount(), 0u);
            closeModel();
            continue;
        }
        click("settingsButton");
        waitForAnimations();
        ASSERT_TRUE(shown("settingsPage"));
        ui::SettingsPagePresenter* page = presenter->settingsPage();
        if (test.action == Action::remove) {
            page->requestHelperRemoval();
            settle();
            ASSERT_TRUE(alertOpen("removalDialog"));
            press("removalDialog", "alertConfirm");
            EXPECT_FALSE(page->confirmingHelperRemoval());
            run("the removal starts");
            ASSERT_EQ(helper->pendingCount(), 1u);
            EXPECT_EQ(nextRequest(), Request::status);
            replyStatus();
            const auto& calls = log->entries();
            EXPECT_EQ(std::count(calls.begin(), calls.end(), "installer.uninstall"), 1);
            EXPECT_EQ(model->statusMessage(), "Helper removed.");
            closeModel();
            continue;
        }
        page->draft()->setBoostEnterBinding(86);
        if (test.action == Action::save) {
            click("saveButton");
        } else {
            QTest::keyClick(&view.window(), Qt::Key_Return);
        }
        step("the save");
        if (test.operationRunning) {
            EXPECT_EQ(model->settings(), before);
            EXPECT_EQ(page->draft()->boostEnterCelsius(), 86) << "the edit stays";
        } else {
            EXPECT_EQ(model->settings().boostEnterCelsius, 86);
            EXPECT_EQ(page->draft()->settings(), model->settings());
            EXPECT_EQ(model->statusMessage(), "Settings saved.");
            EXPECT_TRUE(shown("settingsPage")) << "the page stays";
        }
        closeModel();
    }
}

TEST_F(MenuContentViewTest, ArabicMirrorsTheHeaderButNotTheGaugesTrack) {
    initialSettings->appLanguage = core::AppLanguage::arabic;
    makeBridge();
    peer->setCurrentTemperature(84.2);
    ASSERT_NE(open(), nullptr);
    step();
    EXPECT_EQ(text("title"), "فنتريلا");
    // The title stands at the right, the mode's badge at the left.
    EXPECT_GT(item("title")->mapToScene(QPointF(0, 0)).x(),
              item("modeBadge")->mapToScene(QPointF(0, 0)).x());
    // The track runs from 40 °C at the left to 110 °C at the right.
    const double boost = item("boostMarker")->mapToScene(QPointF(0, 0)).x();
    const double emergency = item("emergencyMarker")->mapToScene(QPointF(0, 0)).x();
    EXPECT_LT(boost, emergency);
    const double fillLeft = item("fill")->mapToScene(QPointF(0, 0)).x();
    EXPECT_NEAR(fillLeft, item("gauge")->mapToScene(QPointF(0, 0)).x(), 0.5);
    // Texts stand at the leading edge, the right, whatever their own language.
    EXPECT_EQ(QQmlProperty::read(item("controlSubtitle"), "effectiveHorizontalAlignment").toInt(),
              Qt::AlignRight);
    // The switch sits at the left of its title.
    EXPECT_LT(item("controlSwitch")->mapToScene(QPointF(0, 0)).x(),
              item("controlTitle")->mapToScene(QPointF(0, 0)).x());
    screenshot("dashboard-arabic.png");
}

TEST_F(MenuContentViewTest, EachModeInEnglishAndArabic) {
    const ui::Palette palette = ui::Theme::applicationPalette();
    for (const auto language : {core::AppLanguage::english, core::AppLanguage::arabic}) {
        const std::string suffix = language == core::AppLanguage::arabic ? "-ar.png" : "-en.png";
        SCOPED_TRACE(suffix);
        initialSettings->appLanguage = language;
        makeBridge();
        peer->setCurrentTemperature(language == core::AppLanguage::arabic ? 91.3 : 83.6);
        ASSERT_NE(open(), nullptr);
        step();
        const auto expectMode = [&](const char* file, QColor header) {
            step(file);
            EXPECT_EQ(QQmlProperty::read(item("modeLabel"), "text").toString().toStdString(),
                      model->guardMode().title());
            EXPECT_EQ(QQmlProperty::read(item("fansHeader"), "color").value<QColor>(), header)
                << file;
            screenshot(file + suffix);
        };
        expectMode("dashboard-off", palette.secondary);
        switchControlOn();
        expectMode("dashboard-on", palette.secondary);
        ownLevel(0, 55);
        // The fans' header in yellow, the mode in orange.
        EXPECT_EQ(QQmlProperty::read(item("modeLabel"), "color").value<QColor>(), palette.orange);
        expectMode("dashboard-boost", palette.yellow);
        ownLevel(1, 100);
        expectMode("dashboard-emergency", palette.red);
        peer->acceptRelinquished(modeltests::resultOf(State::automatic, fansIn(Mode::manual)),
                                 "Another app changed the fan target; Ventrella released control.");
        expectMode("dashboard-fault", palette.secondary);
        start(peer->disableControl("off"));
        expectMode("dashboard-external", palette.secondary);
        click("settingsButton");
        screenshot("settings" + suffix);
        closeModel();
    }
}

}  // namespace
}  // namespace ventrella::dashboardtests
