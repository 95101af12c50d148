#include "Ventrella/App/Shell/MenuBarController.h"

#include <QCursor>
#include <QKeyEvent>
#include <functional>

#include "ShellFixture.h"

namespace ventrella::shelltests {
namespace {

using shell::MenuBarController;
using uitest::QtTestApplication;

// The offscreen platform has no tray: the status item tells no frame, and the popover opens at
// the pointer, which each test puts at (400, 10).
class MenuBarControllerTest : public ShellTest {
  protected:
    void SetUp() override {
        ShellTest::SetUp();
        QCursor::setPos(400, 10);
        // The window clicks outside the popover land in, there before the popover opens.
        pressAt(QPoint(790, 590));
        auto monitor = std::make_unique<FakeGlobalPressMonitor>();
        globalPresses = monitor.get();
        controller = std::make_unique<MenuBarController>(
            *engine, content, [this] { return now; }, std::move(monitor));
    }
    void TearDown() override {
        controller.reset();
        ShellTest::TearDown();
    }

    void statusClick(QSystemTrayIcon::ActivationReason reason = QSystemTrayIcon::Trigger) {
        emit controller->statusItem().trayIcon().activated(reason);
    }

    QRect popoverFrame() { return controller->popover().window().frameGeometry(); }

    // A press in another application, with the pointer at `point`.
    void globalPressAt(QPoint point) {
        QCursor::setPos(point);
        globalPresses->press();
    }

    double now = 100.0;
    FakeGlobalPressMonitor* globalPresses = nullptr;  // the controller's
    std::unique_ptr<MenuBarController> controller;
};

TEST_F(MenuBarControllerTest, TheStatusItemTogglesAndOnlyLeftClicksCount) {
    const struct {
        QSystemTrayIcon::ActivationReason reason;
        bool toggles;
    } clicks[] = {
        {QSystemTrayIcon::Trigger, true},
        {QSystemTrayIcon::DoubleClick, true},
        {QSystemTrayIcon::Context, false},
        {QSystemTrayIcon::MiddleClick, false},
    };
    for (const auto& [reason, toggles] : clicks) {
        const bool before = controller->isPopoverShown();
        statusClick(reason);
        EXPECT_EQ(controller->isPopoverShown() != before, toggles) << reason;
        EXPECT_EQ(controller->isMonitoring(), controller->isPopoverShown()) << reason;
        EXPECT_EQ(bool(globalPresses->onPress), controller->isPopoverShown()) << reason;
    }
}

TEST_F(MenuBarControllerTest,
       TheGlobalMonitorJudgesEachPressWhereThePointerWasAndGoesWithEveryClose) {
    const std::function<void()> closes[] = {
        [&] { globalPressAt(QPoint(popoverFrame().left() - 3, popoverFrame().top() + 10)); },
        [&] { QTest::keyClick(&controller->popover().window(), Qt::Key_Escape); },
        [&] { statusClick(); },
        [&] { controller->popover().close(); },
        [&] { controller->applicationWillTerminate(); },
    };
    for (std::size_t index = 0; index < std::size(closes); ++index) {
        now += 10;
        QCursor::setPos(400, 10);
        controller->togglePopover();
        ASSERT_TRUE(bool(globalPresses->onPress)) << index;
        // Presses on the popover, within its margin and elsewhere while the pointer rests there
        // leave it open, however late their judgement runs.
        globalPressAt(popoverFrame().center());
        globalPressAt(QPoint(popoverFrame().left() - 2, popoverFrame().bottom() + 2));
        QtTestApplication::processPending();
        ASSERT_TRUE(controller->isPopoverShown()) << index;

        closes[index]();
        EXPECT_TRUE(QtTestApplication::processUntil([&] { return !controller->isPopoverShown(); }))
            << index;
        EXPECT_FALSE(bool(globalPresses->onPress)) << index;
        EXPECT_FALSE(controller->isMonitoring()) << index;
    }
}

// Where the icon is a window of the application (the X11 tray), the tray's report of a press
// only arms it; the left button's release over the icon is the click.
TEST_F(ShellTest, WhereTheIconIsAWindowOfOursTheLeftReleaseOverItIsTheClick) {
    QWindow icon;
    icon.setGeometry(1000, 2, 22, 22);
    icon.show();
    shell::StatusItem item([&icon] { return &icon; });
    int clicks = 0;
    QObject::connect(&item, &shell::StatusItem::clicked, [&clicks] { ++clicks; });
    const struct {
        QSystemTrayIcon::ActivationReason press;
        Qt::MouseButton released;
        QPointF at;
        int clicks;
    } cases[] = {
        {QSystemTrayIcon::Trigger, Qt::LeftButton, {11, 11}, 1},     // a left click
        {QSystemTrayIcon::DoubleClick, Qt::LeftButton, {0, 21}, 1},  // a double click's second
        {QSystemTrayIcon::Trigger, Qt::LeftButton, {11, 22}, 0},     // taken off the icon
        {QSystemTrayIcon::Context, Qt::RightButton, {11, 11}, 0},    // a right click
        {QSystemTrayIcon::Context, Qt::LeftButton, {11, 11}, 0},     // no left press before
    };
    for (std::size_t index = 0; index < std::size(cases); ++index) {
        const auto& c = cases[index];
        const int before = clicks;
        emit item.trayIcon().activated(c.press);
        EXPECT_EQ(clicks, before) << index << ": the press alone acted";
        QMouseEvent release(QEvent::MouseButtonRelease, c.at, c.at, c.released, Qt::NoButton,
                            Qt::NoModifier);
        QCoreApplication::sendEvent(&icon, &release);
        EXPECT_EQ(clicks, before + c.clicks) << index;
    }
}

TEST_F(MenuBarControllerTest, EscapeClosesAndIsConsumedWhileOtherKeysPass) {
    controller->togglePopover();
    QWindow& window = controller->popover().window();
    // Opening activates the popover, so that it takes the keys.
    ASSERT_TRUE(QtTestApplication::processUntil([&] { return window.isActive(); }));
    QQuickItem* tree = controller->popover().content();
    tree->forceActiveFocus();
    QTest::keyClick(&window, Qt::Key_A);
    EXPECT_TRUE(controller->isPopoverShown());
    EXPECT_EQ(QQmlProperty::read(tree, "keyPresses").toInt(), 1);

    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(controller->isPopoverShown());
    EXPECT_FALSE(controller->isMonitoring());
    EXPECT_EQ(QQmlProperty::read(tree, "keyPresses").toInt(), 1);
}

TEST_F(MenuBarControllerTest, ClicksBeyondThePopoversMarginCloseItAndAreStillDelivered) {
    const struct {
        const char* what;
        QPoint offset;  // from the popover's bottom-left corner
        Qt::MouseButton button;
        bool closes;
    } clicks[] = {
        {"1 point below", {10, 0}, Qt::LeftButton, false},
        {"3 points below", {10, 2}, Qt::LeftButton, true},
        {"3 points left", {-3, -10}, Qt::RightButton, true},
        {"a middle click far away", {200, 200}, Qt::MiddleButton, false},
    };
    for (const auto& c : clicks) {
        controller->togglePopover();
        ASSERT_TRUE(controller->isPopoverShown());
        const QRect frame = popoverFrame();
        // One point below the frame is its bottom edge plus one: QRect::bottom() is the last row.
        const QPoint corner(frame.left(), frame.top() + frame.height());
        const int pressesBefore = other ? other->presses : 0;
        pressAt(corner + c.offset, c.button);
        EXPECT_EQ(!controller->isPopoverShown(), c.closes) << c.what;
        EXPECT_EQ(other->presses, pressesBefore + 1) << c.what;
        controller->closePopover();
    }
}

TEST_F(MenuBarControllerTest, ClicksInThePopoversOwnWindowNeverCloseIt) {
    controller->togglePopover();
    QTest::mouseClick(&controller->popover().window(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(controller->isPopoverShown());
}

TEST_F(MenuBarControllerTest,
       WithoutAGlobalWatchLosingActivationClosesOnlyWhenThePointerIsOutside) {
    globalPresses->available = false;
    controller->togglePopover();
    QWindow& popover = controller->popover().window();
    popover.requestActivate();
    ASSERT_TRUE(QtTestApplication::processUntil([&] { return popover.isActive(); }));

    // A dialog of the popover takes activation while the pointer is on the popover's button.
    QCursor::setPos(popoverFrame().center());
    QWindow dialog;
    dialog.setTransientParent(&popover);
    dialog.setGeometry(10, 300, 100, 100);
    dialog.show();
    dialog.requestActivate();
    ASSERT_TRUE(QtTestApplication::processUntil([&] { return dialog.isActive(); }));
    QtTestApplication::processPending();
    EXPECT_TRUE(controller->isPopoverShown());

    // Another window takes it while the pointer is elsewhere: the popover closes.
    dialog.hide();
    popover.requestActivate();
    ASSERT_TRUE(QtTestApplication::processUntil([&] { return popover.isActive(); }));
    QCursor::setPos(popoverFrame().left() - 20, popoverFrame().bottom() + 20);
    QWindow elsewhere;
    elsewhere.setGeometry(0, 500, 50, 50);
    elsewhere.show();
    elsewhere.requestActivate();
    EXPECT_TRUE(QtTestApplication::processUntil([&] { return !controller->isPopoverShown(); }));
}

TEST_F(MenuBarControllerTest, WhileAModalDialogRunsNothingClosesThePopover) {
    controller->togglePopover();
    controller->setModalRunning(true);
    pressAt(QPoint(popoverFrame().left() - 50, popoverFrame().top() + 10));
    globalPressAt(QPoint(popoverFrame().left() - 50, popoverFrame().top() + 10));
    QTest::keyClick(&controller->popover().window(), Qt::Key_Escape);
    statusClick();
    QWindow elsewhere;
    elsewhere.setGeometry(0, 500, 50, 50);
    elsewhere.show();
    elsewhere.requestActivate();
    QtTestApplication::processUntil([&] { return elsewhere.isActive(); });
    QtTestApplication::processPending();
    EXPECT_TRUE(controller->isPopoverShown());
    EXPECT_EQ(content.openings, 1);

    controller->setModalRunning(false);
    pressAt(QPoint(popoverFrame().left() - 50, popoverFrame().top() + 10));
    EXPECT_FALSE(controller->isPopoverShown());
}

TEST_F(MenuBarControllerTest, WithoutAStatusFrameTheClickThatClosedThePopoverDoesNotReopenIt) {
    ASSERT_FALSE(controller->statusItem().frame());
    const struct {
        double after;
        bool reopens;
    } clicks[] = {{0.0, false}, {0.29, false}, {0.31, true}, {2.0, true}};
    for (const auto& [after, reopens] : clicks) {
        QCursor::setPos(400, 10);
        controller->togglePopover();
        pressAt(QPoint(popoverFrame().right() + 50, popoverFrame().bottom() + 50));
        ASSERT_FALSE(controller->isPopoverShown());
        now += after;
        statusClick();
        EXPECT_EQ(controller->isPopoverShown(), reopens) << after;
        controller->closePopover();
        now += 10;
    }
    // A close by the status item itself sets no guard.
    QCursor::setPos(400, 10);
    controller->togglePopover();
    statusClick();
    ASSERT_FALSE(controller->isPopoverShown());
    statusClick();
    EXPECT_TRUE(controller->isPopoverShown());
}

TEST_F(MenuBarControllerTest, TerminationClosesThePopoverAndStopsMonitoring) {
    controller->togglePopover();
    controller->applicationWillTerminate();
    EXPECT_FALSE(controller->isPopoverShown());
    EXPECT_FALSE(controller->isMonitoring());
    controller->applicationWillTerminate();
    EXPECT_FALSE(controller->isPopoverShown());
}

TEST_F(MenuBarControllerTest, TheStatusItemShowsTheModelsState) {
    controller->refreshStatusItem(
        {.menuSymbol = "fanblades", .menuTitle = "81°", .guardMode = core::GuardMode::boost()});
    const auto& tray = controller->statusItem().trayIcon();
    EXPECT_FALSE(tray.icon().isNull());
    EXPECT_EQ(tray.toolTip(), QStringLiteral("81°\nVentrella · Boost"));
    EXPECT_EQ(controller->statusItem().appearance().title, " 81°");
    // A symbol without an image leaves the item without one; the tool tip stays.
    controller->refreshStatusItem({.menuSymbol = "no.such.symbol",
                                   .menuTitle = "81°",
                                   .guardMode = core::GuardMode::boost()});
    EXPECT_TRUE(tray.icon().isNull());
}

}  // namespace
}  // namespace ventrella::shelltests
