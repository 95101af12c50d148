import QtQuick.Layouts
import Ventrella.UI

// The Emergency card: the Emergency band, the fixed fan speed (the fans' maximum, which has no
// control), and the advanced safety settings, which show while `advancedExpanded`. Everything is
// read from and written to the draft; the expansion belongs to the page, which
// `advancedExpansionRequested` asks to change it.
SettingsSection {
    id: section

    required property SettingsDraft draft
    property string language
    property bool advancedExpanded: false

    signal advancedExpansionRequested(bool expanded)

    title: qsTr("Emergency cooling")
    symbol: "exclamationmark.triangle"

    GuardSectionsPresenter {
        id: texts

        draft: section.draft
        language: section.language
    }

    TemperatureBandEditor {
        objectName: "emergencyBand"
        Layout.fillWidth: true
        exitCelsius: section.draft.emergencyExitBinding
        enterCelsius: section.draft.emergencyEnterBinding
        lowerCelsius: 40
        upperCelsius: 110
        color: Theme.red
        handleSize: 19
        language: section.language
        onExitEdited: (celsius) => section.draft.emergencyExitBinding = celsius
        onEnterEdited: (celsius) => section.draft.emergencyEnterBinding = celsius
    }

    RowLayout {
        objectName: "fanSpeed"
        Layout.fillWidth: true

        SettingTitle {
            Layout.fillWidth: true
            title: qsTr("Fan speed")
            detail: qsTr("Hardware limit during an emergency")
        }

        CapsuleBadge {
            text: qsTr("Maximum")
            symbol: "gauge.with.dots.needle.100percent"
            tint: Theme.red
            horizontalPadding: 9
            verticalPadding: 5
        }
    }

    DisclosureGroup {
        objectName: "emergencyAdvanced"
        Layout.fillWidth: true
        title: qsTr("Advanced safety")
        symbol: "shield.checkered"
        expanded: section.advancedExpanded
        onExpansionRequested: (expanded) => section.advancedExpansionRequested(expanded)

        CounterSetting {
            objectName: "emergencyCooldownConfirmation"
            Layout.fillWidth: true
            title: qsTr("Cooldown confirmation")
            detail: texts.emergencyCooldownDetail
            value: section.draft.emergencyExitSamples
            from: 1
            to: 120
            unit: qsTr("samples")
            language: section.language
            onEdited: (value) => section.draft.emergencyExitSamples = value
        }

        DurationSetting {
            objectName: "emergencyMinimumRunTime"
            Layout.fillWidth: true
            title: qsTr("Minimum run time")
            detail: qsTr("After Emergency cooling starts")
            seconds: section.draft.emergencyMinimumHoldSeconds
            color: Theme.red
            presets: texts.durationPresets
            language: section.language
            onSecondsEdited: (seconds) => section.draft.emergencyMinimumHoldSeconds = seconds
        }
    }
}
