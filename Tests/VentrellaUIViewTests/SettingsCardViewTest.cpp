#include "SettingsCardViewTest.h"

#include <QQmlProperty>

namespace ventrella::uiviewtests {

QByteArray SettingsCardViewTest::scene(Card card) {
    QByteArray content;
    switch (card) {
        case Card::thermalDecision:
            content = R"(
    ThermalDecisionCard {
        objectName: "card"
        width: root.availableWidth
        draft: root.draft
        previewSource: root.previewSource
        language: root.chosenLanguage
    })";
            break;
        case Card::boost:
            content = R"(
    SettingsSection {
        objectName: "card"
        width: root.availableWidth
        title: qsTr("Boost")
        symbol: "fanblades"

        BoostSection {
            objectName: "boost"
            Layout.fillWidth: true
            draft: root.draft
            language: root.chosenLanguage
            advancedExpanded: root.expanded
            onAdvancedExpansionRequested: (expanded) => root.expanded = expanded
        }
    })";
            break;
        case Card::emergency:
            content = R"(
    EmergencySection {
        objectName: "card"
        width: root.availableWidth
        draft: root.draft
        language: root.chosenLanguage
        advancedExpanded: root.expanded
        onAdvancedExpansionRequested: (expanded) => root.expanded = expanded
    })";
            break;
    }
    return QByteArray(R"(import QtQuick
import QtQuick.Layouts
import Ventrella.UI
AppLanguageScope {
    id: root
    required property string chosenLanguage
    required property SettingsDraft draft
    required property TemperaturePreviewSource previewSource
    property bool expanded: true
    language: chosenLanguage
    padding: 14
    background: Rectangle { color: Theme.background }
)") + content +
           "\n}\n";
}

QStringList SettingsCardViewTest::overflowingTexts(double padding) const {
    QStringList found;
    auto* root = card();
    if (root == nullptr) {
        return {QStringLiteral("no card")};
    }
    const QRectF bounds = root->mapRectToScene(QRectF(0, 0, root->width(), root->height()))
                              .adjusted(padding - 0.5, padding - 0.5, 0.5 - padding, 0.5 - padding);
    for (auto* item : drawnBelow(root)) {
        if (!item->isVisible() || qstrcmp(item->metaObject()->className(), "QQuickText") != 0) {
            continue;
        }
        const QRectF shown = item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
        const bool fits =
            QQmlProperty::read(item, "contentWidth").toDouble() <= item->width() + 0.5 &&
            !QQmlProperty::read(item, "truncated").toBool();
        if (!bounds.contains(shown) || !fits) {
            found << QQmlProperty::read(item, "text").toString();
        }
    }
    return found;
}

}  // namespace ventrella::uiviewtests
