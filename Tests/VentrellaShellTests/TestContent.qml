import QtQuick

// The popover content of the shell's tests: its size is set through properties, and it counts
// the keys it receives.
Rectangle {
    id: root

    required property int opening
    property real wantedWidth: 300
    property real wantedHeight: 200
    property int keyPresses: 0

    objectName: "content"
    implicitWidth: wantedWidth
    implicitHeight: wantedHeight
    color: "white"
    focus: true
    Keys.onPressed: root.keyPresses++
}
