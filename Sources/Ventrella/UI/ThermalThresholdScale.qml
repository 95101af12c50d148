import QtQuick
import Ventrella.UI

// The threshold gauge: the temperature against the Boost and Emergency start temperatures on the
// fixed 40–110 °C scale, 56 points high. The track runs from cool at the left to hot at the right
// in every language; only the labels follow the interface's direction.
Item {
    id: root

    // °C, or null or undefined without a reading.
    property var temperature
    property real boostThreshold: 80
    property real emergencyThreshold: 90
    // The interface language's raw value: the texts are formatted again when it changes.
    property string language
    // How far a label may run past the gauge's left end: a label that would run further is
    // moved right instead, so that whatever holds the gauge never cuts it off. Unbounded by
    // default.
    property real leadingRoom: Infinity

    readonly property alias presenter: presenter
    readonly property bool interfaceRightToLeft: LayoutMirroring.enabled

    implicitWidth: 328
    implicitHeight: 56

    Accessible.role: Accessible.Indicator
    Accessible.name: presenter.accessibleName
    Accessible.description: presenter.accessibleValue

    ThermalThresholdScalePresenter {
        id: presenter

        trackWidth: root.width
        temperature: root.temperature
        boostThreshold: root.boostThreshold
        emergencyThreshold: root.emergencyThreshold
        language: root.language
    }

    Gradient {
        id: ramp

        orientation: Gradient.Horizontal
        GradientStop { position: 0; color: Qt.alpha(Theme.yellow, 0.88) }
        GradientStop { position: presenter.boostStop; color: Theme.orange }
        GradientStop { position: presenter.emergencyStop; color: Theme.red }
        GradientStop { position: 1; color: Theme.red }
    }

    Item {
        id: track

        objectName: "track"
        anchors.fill: parent
        LayoutMirroring.enabled: false
        LayoutMirroring.childrenInherit: true

        Rectangle {
            y: 23
            width: track.width
            height: 10
            radius: height / 2
            opacity: 0.18
            gradient: ramp
        }

        Item {
            objectName: "fill"
            y: 23
            width: presenter.fillWidth
            height: 10
            clip: true

            Rectangle {
                width: track.width
                height: 10
                radius: height / 2
                gradient: ramp
            }
        }

        Rectangle {
            objectName: "boostMarker"
            x: presenter.boostMarker - 1
            y: 19
            width: 2
            height: 18
            color: Theme.orange
            opacity: 0.95
        }

        Rectangle {
            objectName: "emergencyMarker"
            x: presenter.emergencyMarker - 1
            y: 19
            width: 2
            height: 18
            color: Theme.red
            opacity: 0.95
        }

        ThresholdLabel {
            objectName: "boostLabel"
            frameWidth: presenter.boostLabelFrameWidth
            text: presenter.boostLabel
            symbol: "fanblades"
            color: Theme.orange
            rightToLeft: root.interfaceRightToLeft
            leadingRoom: root.leadingRoom
        }

        ThresholdLabel {
            objectName: "emergencyLabel"
            y: 38
            frameWidth: presenter.emergencyLabelFrameWidth
            text: presenter.emergencyLabel
            symbol: "exclamationmark.triangle.fill"
            color: Theme.red
            rightToLeft: root.interfaceRightToLeft
            leadingRoom: root.leadingRoom
        }
    }
}
