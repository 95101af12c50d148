import QtQuick
import QtQuick.Layouts
import Ventrella.UI

// The settings page's first card: the temperature the draft's source and calculation give from
// the latest sensor snapshot, where it came from, the two pickers that choose the source and the
// calculation (they write only the draft), and that temperature against the draft's Boost and
// Emergency start temperatures. It follows every change of the draft and every new snapshot.
Item {
    id: card

    required property SettingsDraft draft
    // The model's latest snapshot, read for the draft's choices; none means no reading.
    property TemperaturePreviewSource previewSource
    // The interface language's raw value: the texts are formatted again when it changes.
    property string language

    readonly property alias presenter: presenter
    readonly property real padding: 14

    implicitWidth: 332
    implicitHeight: column.implicitHeight + 2 * padding

    ThermalDecisionPresenter {
        id: presenter

        draft: card.draft
        previewSource: card.previewSource
        language: card.language
    }

    Rectangle {
        anchors.fill: parent
        radius: 14
        color: Theme.quaternary
        opacity: 0.35
    }

    // The outline: a 1-point gradient from the top-leading to the bottom-trailing corner.
    Canvas {
        id: outline

        readonly property bool rightToLeft: card.LayoutMirroring.enabled

        anchors.fill: parent
        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
        onRightToLeftChanged: requestPaint()
        onPaint: {
            const context = getContext("2d")
            context.reset()
            const gradient = context.createLinearGradient(rightToLeft ? width : 0, 0,
                                                          rightToLeft ? 0 : width, height)
            gradient.addColorStop(0, Qt.alpha(Theme.orange, 0.45))
            gradient.addColorStop(0.5, Qt.alpha(Theme.red, 0.12))
            gradient.addColorStop(1, Qt.alpha(Theme.red, 0))
            context.strokeStyle = gradient
            context.lineWidth = 1
            context.beginPath()
            context.roundedRect(0.5, 0.5, width - 1, height - 1, 14, 14)
            context.stroke()
        }
    }

    ColumnLayout {
        id: column

        x: card.padding
        y: card.padding
        width: card.width - 2 * card.padding
        spacing: 14

        RowLayout {
            objectName: "liveRow"
            Layout.fillWidth: true
            spacing: 12

            Rectangle {
                implicitWidth: 54
                implicitHeight: 54
                radius: width / 2
                gradient: Gradient {
                    orientation: Gradient.Vertical
                    GradientStop { position: 0; color: Qt.alpha(Theme.orange, 0.28) }
                    GradientStop { position: 1; color: Qt.alpha(Theme.red, 0.12) }
                }

                SymbolImage {
                    anchors.centerIn: parent
                    symbol: "thermometer.high"
                    color: Theme.orange
                    size: 24
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 2

                Text {
                    objectName: "reading"
                    Layout.fillWidth: true
                    text: presenter.readingText
                    color: Theme.primary
                    font.pixelSize: 29
                    font.bold: true
                    horizontalAlignment: Text.AlignLeft
                    textFormat: Text.PlainText
                }

                Text {
                    objectName: "detail"
                    Layout.fillWidth: true
                    text: presenter.detailText
                    color: Theme.secondary
                    font.pixelSize: Theme.caption2
                    horizontalAlignment: Text.AlignLeft
                    wrapMode: Text.Wrap
                    textFormat: Text.PlainText
                }
            }

            CapsuleBadge {
                objectName: "liveBadge"
                text: qsTr("LIVE")
                tint: Theme.green
                font.pixelSize: 9
                font.bold: true
                horizontalPadding: 7
                verticalPadding: 4
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 8

            SegmentedPicker {
                objectName: "sourcePicker"
                Layout.fillWidth: true
                accessibleName: qsTr("Source")
                options: presenter.sourceOptions
                current: card.draft.temperatureSource
                onChosen: (value) => card.draft.temperatureSource = value
            }

            SegmentedPicker {
                objectName: "aggregationPicker"
                Layout.fillWidth: true
                accessibleName: qsTr("Calculation")
                options: presenter.aggregationOptions
                current: card.draft.temperatureAggregation
                onChosen: (value) => card.draft.temperatureAggregation = value
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 12

            ThermalThresholdBar {
                objectName: "boostBar"
                Layout.fillWidth: true
                title: qsTr("Boost")
                icon: "fanblades"
                temperature: presenter.temperature
                threshold: card.draft.boostEnterCelsius
                tint: Theme.orange
                language: card.language
            }

            ThermalThresholdBar {
                objectName: "emergencyBar"
                Layout.fillWidth: true
                title: qsTr("Emergency")
                icon: "exclamationmark.triangle.fill"
                temperature: presenter.temperature
                threshold: card.draft.emergencyEnterCelsius
                tint: Theme.red
                language: card.language
            }
        }
    }
}
