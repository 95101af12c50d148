import QtQuick
import QtQuick.Layouts
import Ventrella.UI

// An information row of the settings page: a symbol, then its title over a second line (and,
// when given, a note under it) at the leading edge, then at most one control at the trailing
// edge (the row's content). Centred vertically, or aligned at the top with `alignTop`.
RowLayout {
    id: row

    required property string symbol
    property color symbolColor: Theme.secondary
    required property string title
    property string detail
    property string note
    property bool alignTop: false
    default property alias accessory: accessorySlot.data

    readonly property int verticalAlignment: alignTop ? Qt.AlignTop : Qt.AlignVCenter // qmllint disable

    spacing: 9

    SymbolImage {
        Layout.alignment: row.verticalAlignment // qmllint disable
        symbol: row.symbol
        color: row.symbolColor
        size: Theme.caption + 2
    }

    ColumnLayout {
        Layout.fillWidth: true
        Layout.alignment: row.verticalAlignment // qmllint disable
        spacing: 2

        Text {
            objectName: "rowTitle"
            Layout.fillWidth: true
            text: row.title
            color: Theme.primary
            font.pixelSize: Theme.caption
            font.weight: Font.DemiBold
            horizontalAlignment: Text.AlignLeft
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
        }

        Text {
            objectName: "rowDetail"
            Layout.fillWidth: true
            visible: row.detail.length > 0
            text: row.detail
            color: Theme.secondary
            font.pixelSize: Theme.caption2
            horizontalAlignment: Text.AlignLeft
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
        }

        Text {
            objectName: "rowNote"
            Layout.fillWidth: true
            visible: row.note.length > 0
            text: row.note
            color: Theme.secondary
            font.pixelSize: Theme.caption2
            horizontalAlignment: Text.AlignLeft
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
        }
    }

    Row {
        id: accessorySlot

        Layout.alignment: row.verticalAlignment // qmllint disable
    }
}
