import QtQuick
import QtQuick.Controls.Basic
import Ventrella.UI

// The look of the dashboard's footer buttons: a caption-sized semibold label, 10 points of
// padding at either side, at least 32 points high, on a rounded background that darkens while
// pressed. `symbol` adds a leading symbol; `leadingLabel` puts the label at the leading edge of
// a button that fills its row instead of in its middle.
Button {
    id: control

    property string symbol: ""
    property bool leadingLabel: false

    readonly property real restingOpacity: 0.28
    readonly property real pressedOpacity: 0.55

    leftPadding: 10
    rightPadding: 10
    topPadding: 0
    bottomPadding: 0
    implicitHeight: Math.max(32, implicitContentHeight)
    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    font.pixelSize: Theme.caption
    font.weight: Font.DemiBold

    contentItem: SymbolLabel {
        symbol: control.symbol
        text: control.text
        color: Theme.primary
        font: control.font
        symbolSize: Theme.caption + 1
        spacing: 5
        centred: !control.leadingLabel
    }

    background: Rectangle {
        objectName: "background"
        implicitHeight: 32
        radius: 8
        color: Theme.quaternary
        opacity: control.down ? control.pressedOpacity : control.restingOpacity
    }
}
