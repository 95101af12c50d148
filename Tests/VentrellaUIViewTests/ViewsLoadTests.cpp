#include <QQuickItem>

#include "ViewTestFixture.h"

namespace ventrella::uiviewtests {
namespace {

TEST_F(ViewTest, EveryViewOfTheModuleLoads) {
    const char* views[] = {
        "ThermalThresholdScale { width: 328; temperature: 72.4 }",
        "ThermalThresholdScale { width: 200 }",
        "DashboardFooterButton { text: \"Quit\" }",
        "DashboardFooterButton { text: \"Settings\"; symbol: \"gearshape\"; leadingLabel: true }",
        "SymbolImage { symbol: \"fanblades\"; size: 16 }",
        "SymbolLabel { symbol: \"info.circle\"; text: \"Status\" }",
        ("ThresholdLabel { frameWidth: 100; text: \"Boost 80°\"; symbol: \"fanblades\"; "
         "color: \"orange\" }"),
        "AppLanguageScope { language: \"de\"; Text { text: \"Hallo\" } }",
        "AppLanguageScope { language: \"system\" }",
    };
    for (const char* qml : views) {
        const QByteArray text = QByteArray("import QtQuick\nimport Ventrella.UI\n") + qml;
        EXPECT_NE(view.load(text), nullptr) << qml;
    }
}

TEST_F(ViewTest, SymbolsAreDrawnAtTheScreensPixelSize) {
    auto* image = view.load(R"(import Ventrella.UI
SymbolImage { symbol: "gearshape"; size: 20 })");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(QQmlProperty::read(image, "status").toInt(), 1);  // Image.Ready
    EXPECT_EQ(QQmlProperty::read(image, "implicitWidth").toInt(), 20);
    EXPECT_EQ(image->width(), 20);
}

}  // namespace
}  // namespace ventrella::uiviewtests
