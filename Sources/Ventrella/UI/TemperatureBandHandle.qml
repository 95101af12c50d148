import QtQuick
import Ventrella.UI

// One handle of the temperature band editor: a circle `handleSize` across, centred on `centreX`
// of the track, inside a round hit area 30 points across. A press and every move while pressed
// report the pointer's x in the track's coordinates through `dragged`; the accessibility actions
// report a step up or down through `adjusted`.
Item {
    id: handle

    required property real centreX
    required property bool filled
    required property color tint
    required property real handleSize
    // The item whose coordinates `dragged` reports.
    required property Item track
    required property string accessibleName
    required property string accessibleValue

    signal dragged(real x)
    signal adjusted(bool increment)

    readonly property real hitSize: 30
    readonly property alias pressed: area.pressed

    x: centreX - hitSize / 2
    y: track.height / 2 - hitSize / 2
    width: hitSize
    height: hitSize

    Accessible.role: Accessible.Slider
    Accessible.name: accessibleName
    Accessible.description: accessibleValue
    Accessible.onIncreaseAction: handle.adjusted(true)
    Accessible.onDecreaseAction: handle.adjusted(false)

    // The shadow: black at 28 %, 1 point below.
    Rectangle {
        anchors.centerIn: parent
        anchors.verticalCenterOffset: 1
        width: knob.width + 1
        height: width
        radius: width / 2
        color: "black"
        opacity: 0.28
    }

    // The 2-point ring is centred on the circle's edge, so it stands out 1 point beyond it.
    Rectangle {
        id: knob

        objectName: "knob"
        anchors.centerIn: parent
        width: handle.handleSize + 2
        height: width
        radius: width / 2
        color: handle.filled ? handle.tint : Theme.background
        border.width: 2
        border.color: handle.tint
    }

    MouseArea {
        id: area

        anchors.fill: parent
        // Inside a scrolling page, a vertical move must not turn into a scroll.
        preventStealing: true
        containmentMask: QtObject {
            function contains(point: point): bool {
                const r = handle.hitSize / 2
                return (point.x - r) * (point.x - r) + (point.y - r) * (point.y - r) <= r * r
            }
        }
        onPressed: (mouse) => handle.dragged(area.mapToItem(handle.track, mouse.x, mouse.y).x)
        onPositionChanged: (mouse) => {
            if (area.pressed) {
                handle.dragged(area.mapToItem(handle.track, mouse.x, mouse.y).x)
            }
        }
    }
}
