pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Ventrella.UI

// The popover's dashboard: the temperature with its threshold gauge and the fans, the
// fan-control switch with the reason it cannot be used, the helper row, the status line with
// "Take Over", and the footer. Every text, colour and enablement comes from the presenter; the
// controls call it only from the user's own actions. (The linter of Qt 6.4 knows no alignment
// type for Layout.alignment, hence the lines it is told to pass over.)
Item {
    id: root

    required property MenuContentPresenter presenter

    implicitWidth: presenter.width
    implicitHeight: column.implicitHeight + 2 * presenter.padding

    ColumnLayout {
        id: column

        x: root.presenter.padding
        y: root.presenter.padding
        width: root.width - 2 * root.presenter.padding
        spacing: root.presenter.spacing

        // ---- Thermal overview ----
        ColumnLayout {
            objectName: "overview"
            Layout.fillWidth: true
            Layout.topMargin: 2
            Layout.bottomMargin: 2
            spacing: 13

            RowLayout {
                objectName: "header"
                Layout.fillWidth: true

                Text {
                    objectName: "title"
                    text: root.presenter.title
                    color: Theme.primary
                    font.pixelSize: Theme.headline
                    font.weight: Font.DemiBold
                    textFormat: Text.PlainText
                    Accessible.role: Accessible.Heading
                }

                Item { Layout.fillWidth: true }

                Rectangle {
                    objectName: "modeBadge"
                    implicitWidth: modeLabel.implicitWidth + 16
                    implicitHeight: modeLabel.implicitHeight + 8
                    radius: height / 2
                    color: Qt.alpha(root.presenter.modeColor, 0.11)
                    Accessible.role: Accessible.StaticText
                    Accessible.name: root.presenter.modeTitle

                    SymbolLabel {
                        id: modeLabel

                        objectName: "modeLabel"
                        anchors.centerIn: parent
                        symbol: root.presenter.modeSymbol
                        text: root.presenter.modeTitle
                        color: root.presenter.modeColor
                        font.pixelSize: Theme.caption2
                        font.weight: Font.DemiBold
                    }
                }
            }

            RowLayout {
                Layout.fillWidth: true
                spacing: 12

                Rectangle {
                    implicitWidth: root.presenter.badgeSize
                    implicitHeight: root.presenter.badgeSize
                    radius: width / 2
                    gradient: Gradient {
                        orientation: Gradient.Vertical
                        GradientStop { position: 0; color: Qt.alpha(Theme.orange, 0.28) }
                        GradientStop { position: 1; color: Qt.alpha(Theme.red, 0.11) }
                    }

                    SymbolImage {
                        anchors.centerIn: parent
                        symbol: "thermometer.high"
                        color: Theme.orange
                        size: 22
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2

                    Text {
                        objectName: "temperature"
                        text: root.presenter.temperature
                        color: Theme.primary
                        font.pixelSize: 27
                        font.bold: true
                        textFormat: Text.PlainText
                    }

                    Text {
                        objectName: "temperatureDetail"
                        Layout.fillWidth: true
                        text: root.presenter.temperatureDetail
                        color: Theme.secondary
                        font.pixelSize: Theme.caption2
                        elide: Text.ElideRight
                        horizontalAlignment: Text.AlignLeft
                        textFormat: Text.PlainText
                    }
                }
            }

            ThermalThresholdScale {
                objectName: "gauge"
                Layout.fillWidth: true
                temperature: root.presenter.gaugeTemperature
                boostThreshold: root.presenter.boostThreshold
                emergencyThreshold: root.presenter.emergencyThreshold
                language: root.presenter.language
                // A label near the cool end may use the popover's padding, but keeps 4 points
                // clear of its edge.
                leadingRoom: root.presenter.padding - 4
            }

            ColumnLayout {
                objectName: "fans"
                Layout.fillWidth: true
                spacing: 6

                RowLayout {
                    Layout.fillWidth: true

                    SymbolLabel {
                        objectName: "fansHeader"
                        symbol: "fanblades"
                        text: root.presenter.fansHeader
                        color: root.presenter.fansHeaderColor
                        font.pixelSize: Theme.caption2
                        font.weight: Font.DemiBold
                    }

                    Item { Layout.fillWidth: true }

                    Text {
                        objectName: "fansMode"
                        text: root.presenter.fansMode
                        color: Theme.secondary
                        font.pixelSize: Theme.caption2
                        textFormat: Text.PlainText
                    }
                }

                Text {
                    objectName: "waitingForFans"
                    Layout.fillWidth: true
                    visible: root.presenter.waitingForFans.length > 0
                    text: root.presenter.waitingForFans
                    color: Theme.secondary
                    font.pixelSize: Theme.caption
                    horizontalAlignment: Text.AlignLeft
                    textFormat: Text.PlainText
                }

                Repeater {
                    model: root.presenter.fanRows

                    RowLayout {
                        id: fanRow

                        required property var modelData

                        objectName: "fanRow"
                        Layout.fillWidth: true

                        Text {
                            objectName: "fanTitle"
                            text: fanRow.modelData.title
                            color: Theme.secondary
                            font.pixelSize: Theme.caption2
                            textFormat: Text.PlainText
                        }

                        Item { Layout.fillWidth: true }

                        Text {
                            objectName: "fanSpeed"
                            text: fanRow.modelData.speed
                            color: Theme.primary
                            font.pixelSize: Theme.caption
                            font.weight: Font.DemiBold
                                textFormat: Text.PlainText
                        }

                        Text {
                            objectName: "fanMode"
                            Layout.preferredWidth: root.presenter.fanModeWidth
                            text: fanRow.modelData.mode
                            color: Theme.secondary
                            font.pixelSize: Theme.caption2
                            horizontalAlignment: Text.AlignRight
                            textFormat: Text.PlainText
                        }
                    }
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.separator
        }

        // ---- Control section ----
        ColumnLayout {
            objectName: "control"
            Layout.fillWidth: true
            spacing: 10

            RowLayout {
                Layout.fillWidth: true
                spacing: 10

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2

                    Text {
                        objectName: "controlTitle"
                        Layout.fillWidth: true
                        text: root.presenter.controlTitle
                        color: Theme.primary
                        font.pixelSize: Theme.body
                        wrapMode: Text.Wrap
                        horizontalAlignment: Text.AlignLeft
                        textFormat: Text.PlainText
                    }

                    Text {
                        objectName: "controlSubtitle"
                        Layout.fillWidth: true
                        text: root.presenter.controlSubtitle
                        color: Theme.secondary
                        font.pixelSize: Theme.caption
                        wrapMode: Text.Wrap
                        horizontalAlignment: Text.AlignLeft
                        textFormat: Text.PlainText
                    }
                }

                ToggleSwitch {
                    id: controlSwitch

                    objectName: "controlSwitch"
                    checked: root.presenter.controlOn
                    enabled: root.presenter.controlAvailable
                    Accessible.name: root.presenter.controlTitle
                    Accessible.description: root.presenter.controlSubtitle
                    // Only the user's toggle asks the model; the switch then shows the model's
                    // value again, whatever the model made of the request.
                    onToggled: {
                        root.presenter.toggleControl(checked)
                        checked = Qt.binding(() => root.presenter.controlOn)
                    }
                }
            }

            RowLayout {
                objectName: "helperRow"
                Layout.fillWidth: true
                visible: root.presenter.showsHelperRow
                spacing: 8

                SymbolImage {
                    Layout.alignment: Qt.AlignTop // qmllint disable
                    Layout.topMargin: 2
                    symbol: root.presenter.helperSymbol
                    color: Theme.orange
                    size: Theme.caption + 1
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.alignment: Qt.AlignTop // qmllint disable
                    spacing: 2

                    Text {
                        text: root.presenter.helperTitle
                        color: Theme.orange
                        font.pixelSize: Theme.caption
                        font.weight: Font.DemiBold
                        textFormat: Text.PlainText
                    }

                    Text {
                        objectName: "helperState"
                        Layout.fillWidth: true
                        text: root.presenter.helperState
                        color: Theme.secondary
                        font.pixelSize: Theme.caption2
                        wrapMode: Text.Wrap
                        horizontalAlignment: Text.AlignLeft
                        textFormat: Text.PlainText
                    }

                    Text {
                        Layout.fillWidth: true
                        text: root.presenter.helperNote
                        color: Theme.secondary
                        font.pixelSize: Theme.caption2
                        wrapMode: Text.Wrap
                        horizontalAlignment: Text.AlignLeft
                        textFormat: Text.PlainText
                    }
                }

                SmallButton {
                    objectName: "helperAction"
                    Layout.alignment: Qt.AlignTop // qmllint disable
                    Layout.minimumWidth: root.presenter.helperActionMinimumWidth
                    text: root.presenter.helperAction
                    enabled: root.presenter.helperActionAvailable
                    onClicked: root.presenter.installHelper()
                }
            }
        }

        // ---- Status row ----
        RowLayout {
            objectName: "statusRow"
            Layout.fillWidth: true
            visible: root.presenter.showsStatusRow
            spacing: 8

            BusyIndicator {
                objectName: "progress"
                Layout.alignment: Qt.AlignTop // qmllint disable
                visible: root.presenter.showsProgress
                running: visible
                implicitWidth: 14
                implicitHeight: 14
                padding: 0
            }

            SymbolImage {
                objectName: "statusSymbol"
                Layout.alignment: Qt.AlignTop // qmllint disable
                Layout.topMargin: 1
                visible: !root.presenter.showsProgress
                symbol: root.presenter.statusSymbol
                color: root.presenter.statusColor
                size: Theme.caption + 1
            }

            Text {
                objectName: "statusMessage"
                Layout.fillWidth: true
                text: root.presenter.statusMessage
                color: Theme.secondary
                font.pixelSize: Theme.caption
                wrapMode: Text.Wrap
                horizontalAlignment: Text.AlignLeft
                textFormat: Text.PlainText
            }

            SmallButton {
                objectName: "takeOver"
                Layout.alignment: Qt.AlignTop // qmllint disable
                visible: root.presenter.showsTakeOver
                text: root.presenter.takeOverTitle
                tint: Theme.orange
                onClicked: root.presenter.requestTakeoverConfirmation()
            }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.separator
        }

        // ---- Footer ----
        RowLayout {
            objectName: "footer"
            Layout.fillWidth: true
            spacing: 8

            DashboardFooterButton {
                objectName: "settingsButton"
                Layout.fillWidth: true
                text: root.presenter.settingsTitle
                symbol: "gearshape"
                leadingLabel: true
                onClicked: root.presenter.openSettings()
            }

            DashboardFooterButton {
                objectName: "quitButton"
                Layout.minimumWidth: root.presenter.quitMinimumWidth
                text: root.presenter.quitTitle
                onClicked: root.presenter.quit()
            }
        }
    }
}
