#include "Ventrella/App/Shell/PopoverWindow.h"

#include <QCursor>

#include "ShellFixture.h"
#include "Support/ScopedCapturingLogBackend.h"

namespace ventrella::shelltests {
namespace {

using shell::PopoverWindow;
using uitest::QtTestApplication;

TEST_F(ShellTest, EveryOpeningBuildsANewTreeAndTheOldOneGoesLaterAfterItsPresenter) {
    PopoverWindow popover(*engine, content);
    ASSERT_TRUE(popover.open(QRectF(500, 0, 20, 20)));
    QPointer<QQuickItem> first = popover.content();
    ASSERT_TRUE(first);
    EXPECT_EQ(QQmlProperty::read(first, "opening").toInt(), 1);
    EXPECT_TRUE(popover.window().flags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(popover.window().flags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_NE(popover.window().flags() & Qt::WindowType_Mask, Qt::Popup);

    popover.close();
    EXPECT_FALSE(popover.isShown());
    // Closing keeps the tree; the next opening replaces it.
    EXPECT_TRUE(first);
    ASSERT_TRUE(popover.open(QRectF(500, 0, 20, 20)));
    EXPECT_NE(popover.content(), first.data());
    EXPECT_EQ(QQmlProperty::read(popover.content(), "opening").toInt(), 2);
    // Taken out of the window at once, deleted only later.
    ASSERT_TRUE(first);
    EXPECT_EQ(first->parentItem(), nullptr);
    EXPECT_TRUE(content.presenters[0]);
    QtTestApplication::processPending();
    EXPECT_FALSE(first);
    EXPECT_FALSE(content.presenters[0]);
    EXPECT_TRUE(content.presenters[1]);
    EXPECT_EQ(content.destroyed, std::vector<std::string>{"presenter 1"});
}

TEST_F(ShellTest, TheWindowTakesItsContentsSizeAndFollowsItsHeight) {
    PopoverWindow popover(*engine, content);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRectF anchor(screen.center().x(), screen.top(), 20, 20);
    ASSERT_TRUE(popover.open(anchor));
    EXPECT_EQ(popover.window().size(), QSize(300, 200));
    const int top = popover.window().y();
    EXPECT_EQ(top, screen.top() + 20 + 4);

    popover.content()->setProperty("wantedHeight", 260);
    EXPECT_EQ(popover.window().size(), QSize(300, 260));
    EXPECT_EQ(popover.window().y(), top);
    EXPECT_EQ(popover.content()->height(), 260);

    // Without a fitting width the popover is 360 × 460, and so is its content.
    popover.content()->setProperty("wantedWidth", 0);
    EXPECT_EQ(popover.window().size(), QSize(360, 460));
    EXPECT_EQ(popover.content()->size(), QSizeF(360, 460));
}

TEST_F(ShellTest, InteractiveFramesAreTheWindowThenItsVisibleChildren) {
    PopoverWindow popover(*engine, content);
    EXPECT_TRUE(popover.interactiveFrames().empty());
    ASSERT_TRUE(popover.open(QRectF(300, 0, 20, 20)));
    QWindow dialog;
    dialog.setTransientParent(&popover.window());
    dialog.setGeometry(40, 300, 200, 100);
    QWindow stranger;
    stranger.setGeometry(400, 400, 50, 50);
    stranger.show();
    EXPECT_EQ(popover.interactiveFrames(),
              std::vector<QRectF>{QRectF(popover.window().frameGeometry())});
    dialog.show();
    const auto frames = popover.interactiveFrames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1], QRectF(dialog.frameGeometry()));
    popover.close();
    EXPECT_TRUE(popover.interactiveFrames().empty());
}

TEST_F(ShellTest, ContentThatCannotBeBuiltLeavesThePopoverClosedAndIsLogged) {
    testsupport::ScopedCapturingLogBackend log;
    uitest::QtMessageCapture ownWarnings;  // the broken file's own warnings are expected here
    content.source = QStringLiteral("file:///nonexistent/Popover.qml");
    PopoverWindow popover(*engine, content);
    EXPECT_FALSE(popover.open(QRectF(300, 0, 20, 20)));
    EXPECT_FALSE(popover.isShown());
    const auto lines = log.texts("MenuBar");
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front().rfind("popover.load error=", 0), 0u) << lines.front();
}

}  // namespace
}  // namespace ventrella::shelltests
