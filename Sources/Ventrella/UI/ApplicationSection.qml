import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Ventrella.UI

// The content of the Application card (the page puts it in a SettingsSection titled
// "Application"): the language menu, the sampling counter and launch at login, which edit the
// draft; the hardware and version rows with the diagnostic report; the update rows, whose
// automatic-check switch is the updater's own preference and is written at once; and the helper
// row. The helper's removal is only asked for here (`removalRequested`): the page confirms it.
ColumnLayout {
    id: section

    required property SettingsDraft draft
    property SparkleUpdateManager updateManager
    property string language
    readonly property alias presenter: presenter

    signal removalRequested()

    spacing: 10

    ApplicationSectionPresenter {
        id: presenter

        bridge: AppModelBridge
        updateManager: section.updateManager
    }

    // ---- Language ----
    RowLayout {
        Layout.fillWidth: true
        spacing: 9

        SymbolLabel {
            Layout.fillWidth: true
            implicitHeight: 22
            symbol: "globe"
            text: presenter.languageTitle
            font.pixelSize: Theme.caption
            font.weight: Font.DemiBold
            spacing: 6
        }

        MenuPicker {
            objectName: "languageMenu"
            Layout.preferredWidth: 176
            choices: presenter.languages
            value: section.draft.appLanguage
            Accessible.name: presenter.languageTitle
            onChosen: (value) => section.draft.appLanguage = value
        }
    }

    // ---- Sampling ----
    CounterSetting {
        objectName: "sampling"
        Layout.fillWidth: true
        title: presenter.samplingTitle
        detail: presenter.samplingDetail
        value: section.draft.pollIntervalBinding
        from: 1
        to: 5
        unit: presenter.samplingUnit
        language: section.language
        onEdited: (value) => section.draft.pollIntervalBinding = value
    }

    // ---- Launch at login ----
    LabelledSwitch {
        objectName: "launchAtLogin"
        Layout.fillWidth: true
        title: presenter.launchAtLoginTitle
        checked: section.draft.launchAtLogin
        onToggled: (checked) => section.draft.launchAtLogin = checked
    }

    InfoRow {
        objectName: "hardwareRow"
        Layout.fillWidth: true
        symbol: "cpu"
        title: presenter.hardwareTitle
        detail: presenter.hardwareSummary
    }

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: Theme.separator
    }

    InfoRow {
        objectName: "versionRow"
        Layout.fillWidth: true
        symbol: "info.circle"
        title: presenter.versionTitle
        detail: presenter.versionText

        SmallButton {
            id: reportButton

            objectName: "reportButton"
            text: presenter.reportTitle
            enabled: presenter.reportAvailable
            onClicked: presenter.exportDiagnosticReport()

            contentItem: SymbolLabel {
                symbol: "doc.badge.gearshape"
                text: reportButton.text
                font: reportButton.font
                spacing: 4
            }
        }
    }

    InfoRow {
        objectName: "updatesRow"
        Layout.fillWidth: true
        symbol: "arrow.triangle.2.circlepath"
        title: presenter.updatesTitle

        SmallButton {
            objectName: "checkForUpdates"
            text: presenter.checkTitle
            enabled: presenter.checkAvailable
            onClicked: presenter.checkForUpdates()
        }
    }

    LabelledSwitch {
        objectName: "automaticChecks"
        Layout.fillWidth: true
        title: presenter.automaticChecksTitle
        checked: presenter.automaticallyChecksForUpdates
        enabled: presenter.automaticChecksAvailable
        onToggled: (checked) => presenter.automaticallyChecksForUpdates = checked
    }

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: 1
        color: Theme.separator
    }

    InfoRow {
        objectName: "helperRow"
        Layout.fillWidth: true
        alignTop: true
        symbol: presenter.helperSymbol
        symbolColor: presenter.helperColor
        title: presenter.helperTitle
        detail: presenter.helperStatus
        note: presenter.showsHelperNote ? presenter.helperNote : ""

        SmallButton {
            objectName: "helperButton"
            visible: presenter.helperAction !== "none"
            text: presenter.helperActionTitle
            tint: presenter.helperAction === "remove" ? Theme.red : "transparent"
            enabled: presenter.helperActionAvailable
            onClicked: {
                if (presenter.helperAction === "remove")
                    section.removalRequested()
                else
                    presenter.installHelper()
            }
        }
    }
}
