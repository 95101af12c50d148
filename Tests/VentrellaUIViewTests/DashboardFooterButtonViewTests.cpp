#include <QQuickItem>
#include <QSignalSpy>
#include <QTest>

#include "ViewTestFixture.h"

namespace ventrella::uiviewtests {
namespace {

TEST_F(ViewTest, FooterButtonsDarkenWhilePressed) {
    auto* button = view.load(R"(import Ventrella.UI
DashboardFooterButton { text: "Quit" })");
    ASSERT_NE(button, nullptr);
    auto* background = view.find("background");
    ASSERT_NE(background, nullptr);
    QSignalSpy clicked(button, SIGNAL(clicked()));
    EXPECT_GE(button->height(), 32);
    EXPECT_DOUBLE_EQ(background->opacity(), 0.28);

    const QPoint middle(qRound(button->width() / 2), qRound(button->height() / 2));
    QTest::mousePress(&view.window(), Qt::LeftButton, {}, middle);
    EXPECT_DOUBLE_EQ(background->opacity(), 0.55);
    QTest::mouseRelease(&view.window(), Qt::LeftButton, {}, middle);
    EXPECT_DOUBLE_EQ(background->opacity(), 0.28);
    EXPECT_EQ(clicked.count(), 1);

    // The whole rectangle takes the click, its padding included.
    QTest::mouseClick(&view.window(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(clicked.count(), 2);
}

TEST_F(ViewTest, FooterLabelsSitAtTheLeadingEdgeOrInTheMiddle) {
    auto* row = view.load(R"(import QtQuick
import Ventrella.UI
Row {
    DashboardFooterButton { objectName: "settings"; width: 280; text: "Settings"; symbol: "gearshape"; leadingLabel: true }
    DashboardFooterButton { objectName: "quit"; width: 80; text: "Quit" }
})");
    ASSERT_NE(row, nullptr);
    auto label = [this](const char* name) {
        return qobject_cast<QQuickItem*>(
            QQmlProperty::read(view.find(name), "contentItem").value<QObject*>());
    };
    auto* settings = label("settings");
    auto* quit = label("quit");
    ASSERT_TRUE(settings && quit);
    auto* settingsRow = settings->childItems().value(0);
    auto* quitRow = quit->childItems().value(0);
    // 10 points of padding, then the symbol and the text.
    EXPECT_DOUBLE_EQ(settingsRow->mapToItem(view.find("settings"), QPointF(0, 0)).x(), 10.0);
    const double quitLeft = quitRow->mapToItem(view.find("quit"), QPointF(0, 0)).x();
    EXPECT_NEAR(quitLeft + quitRow->width() / 2, 40.0, 0.5);
}

}  // namespace
}  // namespace ventrella::uiviewtests
