import Ventrella.UI

// A titled duration on a slider that snaps to a table of presets (seconds, ascending). The slider
// stands at the nearest preset; moving it reports a preset through `secondsEdited`, while a value
// that is no preset keeps its own text until then.
SliderSetting {
    id: setting

    required property real seconds
    required property var presets
    property string language
    readonly property alias presenter: presenter

    signal secondsEdited(real seconds)

    valueText: presenter.formattedDuration
    value: presenter.presetIndex
    from: 0
    to: presenter.lastIndex
    step: 1
    onEdited: (position) => setting.secondsEdited(presenter.secondsAt(position))

    DurationSettingPresenter {
        id: presenter

        seconds: setting.seconds
        presets: setting.presets
        language: setting.language
    }
}
