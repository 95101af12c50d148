import QtQuick
import QtQuick.Layouts
import Ventrella.UI

// A temperature against one start temperature on the fixed 40–110 °C scale: a caption line over
// an 8-point track that always fills from the left, with a white marker at the threshold. A new
// temperature moves the fill with a short ease-out unless the system asks for less motion.
ColumnLayout {
    id: bar

    // Already in the interface language.
    required property string title
    required property string icon
    // °C, or null or undefined without a reading.
    property var temperature
    required property real threshold
    required property color tint
    property bool reduceMotion: AccessibilityDisplay.reduceMotion
    property string language

    readonly property alias presenter: presenter
    // The fill's share of the track as drawn, following the presenter's.
    property real shownFraction: presenter.fillFraction

    spacing: 6
    Accessible.role: Accessible.Indicator
    Accessible.name: presenter.accessibleName
    Accessible.description: presenter.accessibleValue

    Behavior on shownFraction {
        enabled: !bar.reduceMotion

        NumberAnimation {
            duration: 280
            // The linter of Qt 6.4 knows no easing curve.
            easing.type: Easing.OutCubic // qmllint disable
        }
    }

    ThermalThresholdBarPresenter {
        id: presenter

        trackWidth: track.width
        temperature: bar.temperature
        threshold: bar.threshold
        title: bar.title
        language: bar.language
    }

    RowLayout {
        objectName: "caption"
        Layout.fillWidth: true
        spacing: 4

        SymbolLabel {
            Layout.fillWidth: true
            symbol: bar.icon
            text: bar.title
            color: bar.tint
            font.pixelSize: Theme.caption
            font.weight: Font.DemiBold
            Accessible.ignored: true
        }

        Text {
            objectName: "temperatureText"
            text: presenter.temperatureText
            color: Theme.secondary
            font.pixelSize: Theme.caption
            textFormat: Text.PlainText
            Accessible.ignored: true
        }

        Text {
            text: "/"
            color: Theme.tertiary
            font.pixelSize: Theme.caption2
            textFormat: Text.PlainText
            Accessible.ignored: true
        }

        Text {
            objectName: "thresholdText"
            text: presenter.thresholdText
            color: Theme.primary
            font.pixelSize: Theme.caption
            font.weight: Font.DemiBold
            textFormat: Text.PlainText
            Accessible.ignored: true
        }
    }

    Item {
        id: track

        objectName: "track"
        Layout.fillWidth: true
        implicitHeight: 8
        LayoutMirroring.enabled: false
        LayoutMirroring.childrenInherit: true

        Rectangle {
            width: track.width
            height: track.height
            radius: height / 2
            color: Theme.primary
            opacity: 0.09
        }

        Rectangle {
            objectName: "fill"
            width: Math.max(0, track.width * bar.shownFraction)
            height: track.height
            radius: height / 2
            gradient: Gradient {
                orientation: Gradient.Horizontal
                GradientStop { position: 0; color: Qt.alpha(bar.tint, 0.55) }
                GradientStop { position: 1; color: bar.tint }
            }
        }

        Rectangle {
            objectName: "marker"
            x: presenter.markerX
            y: (track.height - height) / 2
            width: 2
            height: 12
            color: Theme.white
            opacity: 0.82
        }
    }
}
