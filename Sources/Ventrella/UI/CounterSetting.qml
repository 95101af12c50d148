import QtQuick
import QtQuick.Layouts
import Ventrella.UI

// A titled whole number stepped by one between `from` and `to` with minus and plus buttons, each
// disabled at its bound. It keeps no value of its own: a press is reported by `edited` for the
// owner to write.
RowLayout {
    id: setting

    required property string title
    property string detail
    required property int value
    property int from: 0
    property int to: 1
    // Already in the interface language ("samples", "sec").
    required property string unit
    property string language
    readonly property alias presenter: presenter

    signal edited(int value)

    spacing: 10

    CounterSettingPresenter {
        id: presenter

        value: setting.value
        lower: setting.from
        upper: setting.to
        unit: setting.unit
        language: setting.language
    }

    SettingTitle {
        Layout.fillWidth: true
        title: setting.title
        detail: setting.detail
    }

    BorderlessSymbolButton {
        objectName: "decrease"
        symbol: "minus"
        // Named by its sign, as the symbol reads; no text of its own to translate.
        text: "−"
        enabled: presenter.canDecrease
        onClicked: setting.edited(presenter.decreased)
    }

    Text {
        objectName: "valueText"
        Layout.minimumWidth: 52
        text: presenter.valueText
        color: Theme.primary
        font.pixelSize: Theme.caption
        font.bold: true
        horizontalAlignment: Text.AlignHCenter
        textFormat: Text.PlainText
        Accessible.role: Accessible.StaticText
        Accessible.name: setting.title
        Accessible.description: text
    }

    BorderlessSymbolButton {
        objectName: "increase"
        symbol: "plus"
        text: "+"
        enabled: presenter.canIncrease
        onClicked: setting.edited(presenter.increased)
    }
}
