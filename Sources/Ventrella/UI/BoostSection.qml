import QtQuick.Layouts
import Ventrella.UI

// The content of the Boost card (the page puts it in a SettingsSection titled "Boost"): the
// Boost band, the cooling power, and the advanced safety settings, which show while
// `advancedExpanded`. Everything is read from and written to the draft; the expansion belongs
// to the page, which `advancedExpansionRequested` asks to change it.
ColumnLayout {
    id: section

    required property SettingsDraft draft
    property string language
    property bool advancedExpanded: false

    signal advancedExpansionRequested(bool expanded)

    spacing: 10

    GuardSectionsPresenter {
        id: texts

        draft: section.draft
        language: section.language
    }

    TemperatureBandEditor {
        objectName: "boostBand"
        Layout.fillWidth: true
        exitCelsius: section.draft.boostExitBinding
        enterCelsius: section.draft.boostEnterBinding
        lowerCelsius: 40
        upperCelsius: 110
        color: Theme.orange
        handleSize: 19
        language: section.language
        onExitEdited: (celsius) => section.draft.boostExitBinding = celsius
        onEnterEdited: (celsius) => section.draft.boostEnterBinding = celsius
    }

    SliderSetting {
        objectName: "coolingPower"
        Layout.fillWidth: true
        title: qsTr("Cooling power")
        detail: qsTr("Each fan is scaled within its own safe range")
        valueText: texts.boostPercentText
        value: section.draft.boostPercentBinding
        from: 40
        to: 100
        step: 1
        color: Theme.orange
        onEdited: (value) => section.draft.boostPercentBinding = value
    }

    DisclosureGroup {
        objectName: "boostAdvanced"
        Layout.fillWidth: true
        title: qsTr("Advanced safety")
        symbol: "shield.checkered"
        expanded: section.advancedExpanded
        onExpansionRequested: (expanded) => section.advancedExpansionRequested(expanded)

        CounterSetting {
            objectName: "boostStartConfirmation"
            Layout.fillWidth: true
            title: qsTr("Start confirmation")
            detail: texts.boostStartDetail
            value: section.draft.boostEnterSamples
            from: 1
            to: 20
            unit: qsTr("samples")
            language: section.language
            onEdited: (value) => section.draft.boostEnterSamples = value
        }

        CounterSetting {
            objectName: "boostCooldownConfirmation"
            Layout.fillWidth: true
            title: qsTr("Cooldown confirmation")
            detail: texts.boostCooldownDetail
            value: section.draft.boostExitSamples
            from: 1
            to: 60
            unit: qsTr("samples")
            language: section.language
            onEdited: (value) => section.draft.boostExitSamples = value
        }

        DurationSetting {
            objectName: "boostMinimumRunTime"
            Layout.fillWidth: true
            title: qsTr("Minimum run time")
            detail: qsTr("After Boost starts")
            seconds: section.draft.boostMinimumHoldSeconds
            color: Theme.orange
            presets: texts.durationPresets
            language: section.language
            onSecondsEdited: (seconds) => section.draft.boostMinimumHoldSeconds = seconds
        }
    }
}
