import QtQuick
import Ventrella.UI

// A short text, with a symbol when one is named, on a capsule of its colour at 12 % opacity.
Rectangle {
    id: badge

    required property string text
    property string symbol: ""
    property color tint: Theme.green
    property font font: Qt.font({ pixelSize: Theme.caption, weight: Font.DemiBold })
    property real horizontalPadding: 9
    property real verticalPadding: 5

    implicitWidth: label.implicitWidth + 2 * horizontalPadding
    implicitHeight: label.implicitHeight + 2 * verticalPadding
    radius: height / 2
    color: Qt.alpha(tint, 0.12)
    Accessible.role: Accessible.StaticText
    Accessible.name: text

    SymbolLabel {
        id: label

        anchors.centerIn: parent
        width: implicitWidth
        symbol: badge.symbol
        text: badge.text
        color: badge.tint
        font: badge.font
    }
}
