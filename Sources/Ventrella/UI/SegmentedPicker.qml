pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Ventrella.UI

// One choice among a few, as equally wide segments on a rounded track; the chosen segment is
// raised. It keeps no choice of its own: a press on another segment is reported by `chosen` for
// the owner to write, and `current` shows what the owner holds.
Item {
    id: picker

    // The segments in order, each {value: string, title: string}.
    required property var options
    required property string current
    // What assistive technologies call the picker; it shows no label.
    property string accessibleName

    signal chosen(string value)

    // Reports `value` unless it is the current choice already.
    function choose(value: string) {
        if (value !== current) {
            chosen(value)
        }
    }

    implicitWidth: 240
    implicitHeight: 24
    Accessible.role: Accessible.PageTabList
    Accessible.name: accessibleName

    Rectangle {
        anchors.fill: parent
        radius: 7
        color: Theme.quaternary
        opacity: 0.55
    }

    RowLayout {
        anchors.fill: parent
        anchors.margins: 2
        spacing: 2

        Repeater {
            model: picker.options

            delegate: AbstractButton {
                id: segment

                required property var modelData

                objectName: "segment-" + modelData.value
                Layout.fillWidth: true
                Layout.fillHeight: true
                // Equal shares of the track whatever the titles' widths.
                Layout.preferredWidth: 1
                text: modelData.title
                checked: modelData.value === picker.current
                Accessible.role: Accessible.PageTab
                Accessible.name: text
                Accessible.checkable: true
                Accessible.checked: checked
                onClicked: picker.choose(segment.modelData.value)

                background: Rectangle {
                    radius: 5
                    color: segment.checked
                           ? (Theme.dark ? Qt.alpha(Theme.white, 0.2) : Theme.white)
                           : segment.down ? Qt.alpha(Theme.primary, 0.08) : "transparent"
                    border.width: segment.checked ? 1 : 0
                    border.color: Qt.alpha(Theme.primary, 0.1)
                }

                contentItem: Text {
                    text: segment.text
                    color: Theme.primary
                    font.pixelSize: Theme.caption
                    font.weight: segment.checked ? Font.DemiBold : Font.Normal
                    horizontalAlignment: Text.AlignHCenter
                    verticalAlignment: Text.AlignVCenter
                    elide: Text.ElideRight
                    textFormat: Text.PlainText
                }
            }
        }
    }
}
