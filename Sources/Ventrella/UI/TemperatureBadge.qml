import QtQuick
import QtQuick.Layouts
import Ventrella.UI

// A temperature under its title, both aligned to the leading or, with `trailing`, to the
// trailing edge; a filled badge shows its value in the level's colour.
ColumnLayout {
    id: badge

    required property string title
    required property string value
    required property bool filled
    required property color tint
    property bool trailing: false

    spacing: 1

    Text {
        objectName: "badgeTitle"
        Layout.fillWidth: true
        horizontalAlignment: badge.trailing ? Text.AlignRight : Text.AlignLeft
        text: badge.title
        color: Theme.secondary
        font.pixelSize: 9
        font.weight: Font.Medium
        textFormat: Text.PlainText
    }

    Text {
        objectName: "badgeValue"
        Layout.fillWidth: true
        horizontalAlignment: badge.trailing ? Text.AlignRight : Text.AlignLeft
        text: badge.value
        color: badge.filled ? badge.tint : Theme.primary
        font.pixelSize: 14
        font.bold: true
        textFormat: Text.PlainText
    }
}
