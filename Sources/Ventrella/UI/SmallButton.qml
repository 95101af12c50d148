import QtQuick
import QtQuick.Controls.Basic
import Ventrella.UI

// A push button of the small control size: a caption-sized label on a bordered, rounded
// background. `prominent` fills it with `tint` and writes the label in white (the window's default
// action); otherwise the label takes `tint` when one is given. A disabled button dims all of
// it: background, label and symbol, also where a caller gives its own label.
Button {
    id: control

    property bool prominent: false
    property color tint: "transparent"
    readonly property bool tinted: tint.a > 0
    readonly property real disabledOpacity: 0.45

    leftPadding: 9
    rightPadding: 9
    topPadding: 3
    bottomPadding: 3
    implicitHeight: Math.max(22, implicitContentHeight + topPadding + bottomPadding)
    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    font.pixelSize: Theme.caption

    contentItem: Text {
        text: control.text
        font: control.font
        color: control.prominent ? Theme.white
                                 : (control.tinted ? control.tint : Theme.primary)
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        textFormat: Text.PlainText
    }

    background: Rectangle {
        implicitHeight: 22
        radius: 6
        color: control.prominent
               ? (control.tinted ? control.tint : Theme.accent)
               : Qt.alpha(control.tinted ? control.tint : Theme.primary, control.down ? 0.22 : 0.1)
        border.width: control.prominent ? 0 : 1
        border.color: Qt.alpha(control.tinted ? control.tint : Theme.primary, 0.22)
        opacity: control.enabled ? (control.prominent && control.down ? 0.8 : 1)
                                 : control.disabledOpacity
    }

    // The label follows the background, also one the caller gave.
    function dimLabel() {
        if (control.contentItem)
            control.contentItem.opacity = control.enabled ? 1 : control.disabledOpacity
    }
    onEnabledChanged: dimLabel()
    onContentItemChanged: dimLabel()
    Component.onCompleted: dimLabel()
}
