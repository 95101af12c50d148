import QtQuick
import Ventrella.UI

// A threshold's label on the gauge: symbol and text ending at the right end of a frame
// `frameWidth` wide (running past the frame's left end when longer, by at most `leadingRoom`),
// laid out in the interface's direction although the gauge itself never mirrors.
Item {
    id: frame

    required property real frameWidth
    required property string text
    required property string symbol
    required property color color
    property bool rightToLeft: false
    property real leadingRoom: Infinity

    width: frameWidth
    height: label.implicitHeight

    SymbolLabel {
        id: label

        // Placed by x, which mirroring leaves alone: the label ends at the frame's right end in
        // every direction, while its own layout mirrors.
        x: Math.max(frame.width - width, -frame.leadingRoom)
        width: implicitWidth
        height: implicitHeight
        LayoutMirroring.enabled: frame.rightToLeft
        LayoutMirroring.childrenInherit: true
        symbol: frame.symbol
        text: frame.text
        color: frame.color
        spacing: 3
        font.pixelSize: Theme.caption2
        font.weight: Font.DemiBold
    }
}
