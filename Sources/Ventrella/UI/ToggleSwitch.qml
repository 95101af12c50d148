import QtQml
import QtQuick
import QtQuick.Controls.Basic
import Ventrella.UI

// An on/off switch: a capsule track, in the accent colour while on, with a round knob. It has no
// text of its own; its label stands beside it.
Switch {
    id: control

    padding: 0
    spacing: 0
    implicitWidth: 34
    implicitHeight: 20

    indicator: Rectangle {
        objectName: "track"
        x: control.leftPadding + (control.availableWidth - width) / 2
        y: control.topPadding + (control.availableHeight - height) / 2
        implicitWidth: 34
        implicitHeight: 20
        radius: height / 2
        color: control.checked ? Theme.accent : Qt.alpha(Theme.primary, 0.16)
        opacity: control.enabled ? 1 : 0.45

        Rectangle {
            readonly property real inset: 2
            // The knob sits at the trailing end while on, in either direction.
            readonly property bool atRight: control.checked !== control.mirrored

            x: atRight ? parent.width - width - inset : inset
            y: inset
            width: parent.height - 2 * inset
            height: width
            radius: width / 2
            color: Theme.white
            border.width: 0.5
            border.color: Qt.alpha("black", 0.15)

            Behavior on x {
                NumberAnimation {
                    duration: 120
                    easing.type: Easing.OutCubic // qmllint disable
                }
            }
        }
    }

    contentItem: Item {}
}
