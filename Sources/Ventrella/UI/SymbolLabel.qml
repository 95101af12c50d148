import QtQuick
import Ventrella.UI

// A symbol followed by a one-line text, in the interface's direction (the symbol leads). The
// pair sits at the leading edge of the label's width, or in its middle with `centred`.
Item {
    id: label

    property string symbol: ""
    property string text: ""
    property color color: Theme.primary
    property color symbolColor: color
    property font font: Qt.font({ pixelSize: Theme.caption })
    property int symbolSize: font.pixelSize
    property real spacing: 4
    property bool centred: false

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight

    Row {
        id: row

        anchors.verticalCenter: parent.verticalCenter
        // x is never mirrored: the leading edge is the right one in a right-to-left interface.
        x: label.centred ? (label.width - width) / 2
                         : label.LayoutMirroring.enabled ? label.width - width : 0
        spacing: label.spacing

        SymbolImage {
            anchors.verticalCenter: parent.verticalCenter
            visible: label.symbol.length > 0
            symbol: label.symbol
            color: label.symbolColor
            size: label.symbolSize
        }

        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: label.text
            color: label.color
            font: label.font
            textFormat: Text.PlainText
            maximumLineCount: 1
        }
    }
}
