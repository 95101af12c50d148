import QtQuick
import QtQuick.Layouts
import Ventrella.UI
import Ventrella.ShellDemo

// The demo's popover: a header, the temperature, the threshold gauge and the footer.
AppLanguageScope {
    id: root

    required property DemoDashboard demo

    language: demo.language
    implicitWidth: 360
    padding: 16

    ColumnLayout {
        width: root.availableWidth
        spacing: 14

        RowLayout {
            Layout.fillWidth: true

            Text {
                text: qsTr("Ventrella")
                color: Theme.primary
                font.pixelSize: Theme.headline
                font.weight: Font.DemiBold
            }

            Item { Layout.fillWidth: true }

            Rectangle {
                objectName: "modeBadge"
                implicitWidth: badge.implicitWidth + 16
                implicitHeight: badge.implicitHeight + 8
                radius: height / 2
                color: Qt.alpha(root.demo.modeColor, 0.11)

                SymbolLabel {
                    id: badge

                    anchors.centerIn: parent
                    symbol: root.demo.modeSymbol
                    text: root.demo.modeTitle
                    color: root.demo.modeColor
                    font.pixelSize: Theme.caption2
                    font.weight: Font.DemiBold
                }
            }
        }

        RowLayout {
            spacing: 12

            Rectangle {
                implicitWidth: 50
                implicitHeight: 50
                radius: 25
                gradient: Gradient {
                    GradientStop { position: 0; color: Qt.alpha(Theme.orange, 0.28) }
                    GradientStop { position: 1; color: Qt.alpha(Theme.red, 0.11) }
                }

                SymbolImage {
                    anchors.centerIn: parent
                    symbol: "thermometer.high"
                    color: Theme.orange
                    size: 24
                }
            }

            ColumnLayout {
                spacing: 2

                Text {
                    objectName: "temperature"
                    text: root.demo.temperatureText
                    color: Theme.primary
                    font.pixelSize: 27
                    font.bold: true
                }

                Text {
                    text: root.demo.detailText
                    color: Theme.secondary
                    font.pixelSize: Theme.caption2
                }
            }
        }

        ThermalThresholdScale {
            objectName: "gauge"
            Layout.fillWidth: true
            temperature: root.demo.temperature
            boostThreshold: root.demo.boostThreshold
            emergencyThreshold: root.demo.emergencyThreshold
            language: root.demo.language
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.separator
        }

        RowLayout {
            Layout.fillWidth: true
            spacing: 8

            DashboardFooterButton {
                Layout.fillWidth: true
                text: qsTr("Settings")
                symbol: "gearshape"
                leadingLabel: true
            }

            DashboardFooterButton {
                objectName: "quit"
                Layout.minimumWidth: 56
                text: qsTr("Quit")
                onClicked: root.demo.quit()
            }
        }
    }
}
