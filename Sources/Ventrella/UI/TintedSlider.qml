import QtQuick
import QtQuick.Controls.Basic
import Ventrella.UI

// A slider whose travelled part is drawn in `tint`; it mirrors in a right-to-left interface.
Slider {
    id: control

    property color tint: Theme.orange

    implicitHeight: 20
    leftPadding: 0
    rightPadding: 0
    topPadding: 0
    bottomPadding: 0

    background: Item {
        x: control.leftPadding
        y: control.topPadding + (control.availableHeight - height) / 2
        implicitWidth: 200
        implicitHeight: 4
        width: control.availableWidth
        height: implicitHeight

        Rectangle {
            anchors.fill: parent
            radius: height / 2
            color: Theme.primary
            opacity: 0.12
        }

        Rectangle {
            objectName: "travelled"
            x: control.mirrored ? control.visualPosition * parent.width : 0
            width: (control.mirrored ? 1 - control.visualPosition : control.visualPosition)
                   * parent.width
            height: parent.height
            radius: height / 2
            color: control.tint
        }
    }

    handle: Rectangle {
        x: control.leftPadding + control.visualPosition * (control.availableWidth - width)
        y: control.topPadding + (control.availableHeight - height) / 2
        implicitWidth: 16
        implicitHeight: 16
        radius: width / 2
        color: control.pressed ? Qt.darker(Theme.white, 1.06) : Theme.white
        border.width: 1
        border.color: Qt.alpha(Theme.primary, 0.22)
    }
}
