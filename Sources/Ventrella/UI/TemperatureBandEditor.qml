import QtQuick
import QtQuick.Layouts
import Ventrella.UI

// A guard level's exit and start temperatures on one track with two handles. The track runs
// from `lowerCelsius` at the left to `upperCelsius` at the right in every language, while the
// header and scale rows follow the interface's direction. It keeps no value of its own: the
// handles stand where `exitCelsius` and `enterCelsius` put them, and a drag or an accessibility
// step reports the moved handle's new value through `exitEdited` or `enterEdited`, keeping it
// at least 1 °C from the other, which is never written.
Item {
    id: editor

    required property real exitCelsius
    required property real enterCelsius
    property real lowerCelsius: 40
    property real upperCelsius: 110
    property color color: Theme.orange
    property real handleSize: 19
    // The interface language's raw value: the texts are formatted again when it changes.
    property string language

    signal exitEdited(real celsius)
    signal enterEdited(real celsius)

    readonly property alias presenter: presenter
    // The surroundings' direction, read before the editor sets its own.
    readonly property bool interfaceRightToLeft: LayoutMirroring.enabled

    implicitWidth: 308
    implicitHeight: stack.implicitHeight

    TemperatureBandPresenter {
        id: presenter

        trackWidth: track.width
        handleSize: editor.handleSize
        lowerCelsius: editor.lowerCelsius
        upperCelsius: editor.upperCelsius
        exitCelsius: editor.exitCelsius
        enterCelsius: editor.enterCelsius
        language: editor.language
    }

    ColumnLayout {
        id: stack

        width: editor.width
        spacing: 8
        LayoutMirroring.enabled: false
        LayoutMirroring.childrenInherit: true

        RowLayout {
            objectName: "header"
            Layout.fillWidth: true
            LayoutMirroring.enabled: editor.interfaceRightToLeft
            LayoutMirroring.childrenInherit: true

            TemperatureBadge {
                objectName: "exitBadge"
                title: qsTr("Return to Automatic")
                value: presenter.exitText
                filled: false
                tint: editor.color
            }

            Item { Layout.fillWidth: true }

            Text {
                objectName: "hysteresis"
                text: presenter.hysteresisText
                color: Theme.secondary
                font.pixelSize: 9
                font.weight: Font.Medium
                textFormat: Text.PlainText
            }

            Item { Layout.fillWidth: true }

            TemperatureBadge {
                objectName: "enterBadge"
                title: qsTr("Start fan")
                value: presenter.enterText
                filled: true
                tint: editor.color
                trailing: true
            }
        }

        Item {
            id: track

            objectName: "track"
            Layout.fillWidth: true
            implicitHeight: 24

            Rectangle {
                objectName: "trackBackground"
                x: editor.handleSize / 2
                y: (track.height - height) / 2
                width: presenter.backgroundWidth
                height: 7
                radius: height / 2
                color: Theme.primary
                opacity: 0.1
            }

            Rectangle {
                objectName: "band"
                x: presenter.exitX
                y: (track.height - height) / 2
                width: presenter.bandWidth
                height: 7
                radius: height / 2
                gradient: Gradient {
                    orientation: Gradient.Horizontal
                    GradientStop { position: 0; color: Qt.alpha(editor.color, 0.45) }
                    GradientStop { position: 1; color: editor.color }
                }
            }

            TemperatureBandHandle {
                objectName: "exitHandle"
                centreX: presenter.exitX
                filled: false
                tint: editor.color
                handleSize: editor.handleSize
                track: track
                accessibleName: qsTr("Return-to-Automatic temperature")
                accessibleValue: presenter.exitAccessibleValue
                onDragged: (x) => editor.exitEdited(presenter.draggedExit(x))
                onAdjusted: (increment) => editor.exitEdited(presenter.adjustedExit(increment))
            }

            // Declared last: drawn above the exit handle and pressed first where they overlap.
            TemperatureBandHandle {
                objectName: "enterHandle"
                centreX: presenter.enterX
                filled: true
                tint: editor.color
                handleSize: editor.handleSize
                track: track
                accessibleName: qsTr("Fan start temperature")
                accessibleValue: presenter.enterAccessibleValue
                onDragged: (x) => editor.enterEdited(presenter.draggedEnter(x))
                onAdjusted: (increment) => editor.enterEdited(presenter.adjustedEnter(increment))
            }
        }

        RowLayout {
            objectName: "scale"
            Layout.fillWidth: true
            LayoutMirroring.enabled: editor.interfaceRightToLeft
            LayoutMirroring.childrenInherit: true

            Text {
                objectName: "lowerEnd"
                text: presenter.lowerText
                color: Theme.tertiary
                font.pixelSize: 8
                font.weight: Font.Medium
                textFormat: Text.PlainText
            }

            Item { Layout.fillWidth: true }

            Text {
                objectName: "scaleHint"
                text: qsTr("Release earlier · Start later")
                color: Theme.tertiary
                font.pixelSize: 8
                font.weight: Font.Medium
                textFormat: Text.PlainText
            }

            Item { Layout.fillWidth: true }

            Text {
                objectName: "upperEnd"
                text: presenter.upperText
                color: Theme.tertiary
                font.pixelSize: 8
                font.weight: Font.Medium
                textFormat: Text.PlainText
            }
        }
    }
}
