import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Ventrella.UI

// The settings page, shown in the popover in place of the dashboard: the header with the back
// button and the control badge, the cards in a 500-point scroll area with the note under them,
// and the footer with the status row, "Defaults" and "Save" (also on Return, when no control
// takes the key). The cards edit the page's draft; nothing reaches the model before "Save".
//
// The cards are the column `cards` below, in order: the thermal decision card, the Boost card,
// the Emergency card, then the Application card; each takes the draft, the language and, where
// it has one, its expansion state from the page's presenter. The Application card also takes
// the update manager, and its remove button opens the page's removal confirmation.
FocusScope {
    id: page

    required property SettingsPagePresenter presenter
    // The software-update manager, for the Application card.
    property SparkleUpdateManager updateManager

    // The removal confirmation, followed by its changes.
    readonly property bool confirmingHelperRemoval: presenter.confirmingHelperRemoval

    signal closeRequested()

    implicitWidth: 360
    implicitHeight: column.implicitHeight
    focus: true
    // Return and Enter reach the page when no control inside it takes them.
    Keys.onReturnPressed: page.presenter.save()
    Keys.onEnterPressed: page.presenter.save()

    onConfirmingHelperRemovalChanged: {
        if (confirmingHelperRemoval)
            removalDialog.open()
        else
            removalDialog.close()
    }

    ColumnLayout {
        id: column

        width: page.width
        spacing: 0

        // ---- Header ----
        RowLayout {
            objectName: "header"
            Layout.fillWidth: true
            Layout.leftMargin: page.presenter.padding
            Layout.rightMargin: page.presenter.padding
            Layout.topMargin: 4
            Layout.bottomMargin: 4
            spacing: 10

            AbstractButton {
                id: backButton

                objectName: "backButton"
                implicitHeight: Math.max(page.presenter.backButtonMinimumHitHeight,
                                         implicitContentHeight)
                implicitWidth: implicitContentWidth
                padding: 0
                text: page.presenter.title
                Accessible.role: Accessible.Button
                Accessible.name: page.presenter.title
                onClicked: page.closeRequested()

                contentItem: RowLayout {
                    spacing: 10
                    opacity: backButton.down ? 0.55 : 1

                    Item {
                        implicitWidth: 24
                        implicitHeight: 24

                        SymbolImage {
                            anchors.centerIn: parent
                            symbol: "chevron.left"
                            color: Theme.primary
                            size: 13
                            // Points back, toward the reading direction's start.
                            mirror: backButton.LayoutMirroring.enabled
                        }
                    }

                    Text {
                        text: page.presenter.title
                        color: Theme.primary
                        font.pixelSize: Theme.headline
                        font.weight: Font.DemiBold
                        textFormat: Text.PlainText
                    }
                }
            }

            Item { Layout.fillWidth: true }

            SymbolLabel {
                objectName: "badge"
                symbol: page.presenter.badgeSymbol
                text: page.presenter.badgeText
                color: page.presenter.badgeColor
                font.pixelSize: Theme.caption
                Accessible.role: Accessible.StaticText
                Accessible.name: page.presenter.badgeText
            }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.separator
        }

        // ---- The cards ----
        ScrollView {
            id: scroll

            objectName: "scrollArea"
            Layout.fillWidth: true
            Layout.preferredHeight: page.presenter.scrollHeight
            contentWidth: availableWidth
            // The cards and the note, padded on every side.
            contentHeight: cards.implicitHeight + 2 * page.presenter.padding
            clip: true
            ScrollBar.vertical.policy: ScrollBar.AlwaysOn
            ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

            ColumnLayout {
                id: cards

                objectName: "cards"
                x: page.presenter.padding
                y: page.presenter.padding
                width: scroll.availableWidth - 2 * page.presenter.padding
                spacing: page.presenter.cardSpacing

                ThermalDecisionCard {
                    objectName: "thermalDecisionCard"
                    Layout.fillWidth: true
                    draft: page.presenter.draft
                    previewSource: page.presenter.previewSource
                    language: page.presenter.language
                }

                SettingsSection {
                    objectName: "boostCard"
                    Layout.fillWidth: true
                    title: page.presenter.boostCardTitle
                    symbol: "fanblades"

                    BoostSection {
                        Layout.fillWidth: true
                        draft: page.presenter.draft
                        language: page.presenter.language
                        advancedExpanded: page.presenter.boostAdvanced
                        onAdvancedExpansionRequested: (expanded) =>
                                                          page.presenter.boostAdvanced = expanded
                    }
                }

                EmergencySection {
                    objectName: "emergencyCard"
                    Layout.fillWidth: true
                    draft: page.presenter.draft
                    language: page.presenter.language
                    advancedExpanded: page.presenter.emergencyAdvanced
                    onAdvancedExpansionRequested: (expanded) =>
                                                      page.presenter.emergencyAdvanced = expanded
                }

                SettingsSection {
                    objectName: "applicationCard"
                    Layout.fillWidth: true
                    title: page.presenter.applicationCardTitle
                    symbol: "gearshape"

                    ApplicationSection {
                        Layout.fillWidth: true
                        draft: page.presenter.draft
                        updateManager: page.updateManager
                        language: page.presenter.language
                        onRemovalRequested: page.presenter.requestHelperRemoval()
                    }
                }

                Text {
                    objectName: "note"
                    Layout.fillWidth: true
                    text: page.presenter.note
                    color: Theme.secondary
                    font.pixelSize: Theme.caption2
                    wrapMode: Text.Wrap
                    horizontalAlignment: Text.AlignLeft
                    textFormat: Text.PlainText
                }
            }
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.separator
        }

        // ---- Footer ----
        ColumnLayout {
            objectName: "footer"
            Layout.fillWidth: true
            Layout.margins: page.presenter.padding
            spacing: 8

            RowLayout {
                objectName: "statusRow"
                Layout.fillWidth: true
                visible: page.presenter.showsStatusRow
                spacing: 7

                BusyIndicator {
                    objectName: "progress"
                    visible: page.presenter.showsProgress
                    running: visible
                    implicitWidth: 14
                    implicitHeight: 14
                    padding: 0
                }

                Text {
                    objectName: "statusMessage"
                    Layout.fillWidth: true
                    text: page.presenter.statusMessage
                    color: Theme.secondary
                    font.pixelSize: Theme.caption2
                    wrapMode: Text.Wrap
                    maximumLineCount: 2
                    elide: Text.ElideRight
                    horizontalAlignment: Text.AlignLeft
                    textFormat: Text.PlainText
                }
            }

            RowLayout {
                Layout.fillWidth: true

                SmallButton {
                    objectName: "defaultsButton"
                    text: page.presenter.defaultsTitle
                    enabled: page.presenter.actionsAvailable
                    onClicked: page.presenter.resetToDefaults()
                }

                Item { Layout.fillWidth: true }

                SmallButton {
                    objectName: "saveButton"
                    text: page.presenter.saveTitle
                    prominent: true
                    enabled: page.presenter.actionsAvailable
                    onClicked: page.presenter.save()
                }
            }
        }
    }

    AlertDialog {
        id: removalDialog

        objectName: "removalDialog"
        title: page.presenter.removalTitle
        message: page.presenter.removalMessage
        cancelText: page.presenter.removalCancel
        confirmText: page.presenter.removalConfirm
        confirmRole: "destructive"
        onConfirmed: page.presenter.confirmHelperRemoval()
        onClosed: page.presenter.cancelHelperRemoval()
    }
}
