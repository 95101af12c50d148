#include <QQuickItem>
#include <QVariant>
#include <limits>

#include "Support/VirtualDesktop.h"
#include "ViewTestFixture.h"

namespace ventrella::uiviewtests {
namespace {

constexpr const char* gaugeView = R"(import QtQuick
import Ventrella.UI
ThermalThresholdScale { width: 328 })";

TEST_F(ViewTest, TheGaugeFillsAndMarksItsTrackFromThePresentersPositions) {
    auto* gauge = view.load(gaugeView);
    ASSERT_NE(gauge, nullptr);
    EXPECT_EQ(gauge->height(), 56);
    auto* fill = view.find("fill");
    auto* boost = view.find("boostMarker");
    auto* emergency = view.find("emergencyMarker");
    ASSERT_TRUE(fill && boost && emergency);

    const struct {
        QVariant temperature;
        double fill;
    } readings[] = {
        {75.0, 164.0},
        {40.0, 0.0},
        {115.0, 328.0},
        {QVariant(), 0.0},
        {std::numeric_limits<double>::quiet_NaN(), 0.0},
    };
    for (const auto& [temperature, width] : readings) {
        gauge->setProperty("temperature", temperature);
        EXPECT_DOUBLE_EQ(fill->width(), width) << temperature.toString().toStdString();
    }
    // The marker rectangles are 2 points wide and centred on the marker.
    EXPECT_NEAR(boost->x(), 186.43, 0.005);
    EXPECT_NEAR(emergency->x(), 233.29, 0.005);
    gauge->setProperty("emergencyThreshold", 110);
    gauge->setProperty("boostThreshold", 30);
    // Centred on W − 2 and on 1: one point short of the right end, flush with the left one.
    EXPECT_DOUBLE_EQ(emergency->x() + emergency->width(), 327.0);
    EXPECT_DOUBLE_EQ(boost->x(), 0.0);

    // Each label ends 6 points before its marker, running past the leading edge when it must.
    gauge->setProperty("boostThreshold", 80);
    auto* boostLabel = view.find("boostLabel");
    ASSERT_NE(boostLabel, nullptr);
    auto* text = boostLabel->childItems().value(0);
    ASSERT_NE(text, nullptr);
    EXPECT_NEAR(text->mapToItem(gauge, QPointF(text->width(), 0)).x(), 181.43, 0.01);
    gauge->setProperty("boostThreshold", 40);
    EXPECT_NEAR(text->mapToItem(gauge, QPointF(text->width(), 0)).x(), 0.0, 0.01);
    EXPECT_LT(text->mapToItem(gauge, QPointF(0, 0)).x(), -16.0);
    // With room for 16 points only, the label starts there and runs on to the right instead.
    gauge->setProperty("leadingRoom", 16);
    EXPECT_DOUBLE_EQ(text->mapToItem(gauge, QPointF(0, 0)).x(), -16.0);
    gauge->setProperty("boostThreshold", 80);
    EXPECT_NEAR(text->mapToItem(gauge, QPointF(text->width(), 0)).x(), 181.43, 0.01);
}

TEST_F(ViewTest, ArabicMirrorsTheInterfaceButNotTheGaugesTrack) {
    const QByteArray scene = R"(import QtQuick
import QtQuick.Layouts
import Ventrella.UI
AppLanguageScope {
    id: root
    required property string chosenLanguage
    language: chosenLanguage
    width: 360
    padding: 16
    ColumnLayout {
        width: root.availableWidth
        RowLayout {
            Layout.fillWidth: true
            Text { objectName: "title"; text: "Ventrella" }
            Item { Layout.fillWidth: true }
            Text { objectName: "badge"; text: qsTr("Quit") }
        }
        ThermalThresholdScale { objectName: "gauge"; Layout.fillWidth: true; temperature: 75 }
    }
})";
    for (const char* language : {"en", "ar"}) {
        const bool arabic = std::string(language) == "ar";
        core::L10n::setLanguage(arabic ? core::AppLanguage::arabic : core::AppLanguage::english);
        ASSERT_NE(view.load(scene, {{"chosenLanguage", language}}, 360), nullptr);
        auto* title = view.find("title");
        auto* badge = view.find("badge");
        auto* gauge = view.find("gauge");
        ASSERT_TRUE(title && badge && gauge);
        EXPECT_EQ(sceneX(title) > sceneX(badge), arabic) << language;
        EXPECT_EQ(QQmlProperty::read(badge, "text").toString(),
                  arabic ? QStringLiteral("إنهاء") : QStringLiteral("Quit"));

        // The track fills from its left end and keeps its markers where they are.
        EXPECT_DOUBLE_EQ(sceneX(view.find("fill")), sceneX(gauge));
        EXPECT_NEAR(sceneX(view.find("boostMarker")) - sceneX(gauge), 0.5 * 328 * 40 / 70 * 2 - 1,
                    0.01);
        // The label ends 6 points before its marker in either language, and its own layout
        // follows the language: the symbol leads, on the right in Arabic.
        auto* label = view.find("boostLabel")->childItems().value(0);
        ASSERT_NE(label, nullptr);
        EXPECT_NEAR(sceneX(label) + label->width() - sceneX(gauge), 181.43, 0.01) << language;
        auto* row = label->childItems().value(0);
        ASSERT_NE(row, nullptr);
        auto* symbol = row->childItems().value(0);
        auto* text = row->childItems().value(1);
        EXPECT_EQ(sceneX(symbol) > sceneX(text), arabic) << language;
        view.grab(testsupport::testArtifact(std::string("gauge-") + language + ".png"));
    }
}

}  // namespace
}  // namespace ventrella::uiviewtests
