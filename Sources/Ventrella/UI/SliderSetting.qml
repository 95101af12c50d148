import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Ventrella.UI

// A titled slider with its value text. It keeps no value of its own: a move of the slider is
// reported by `edited` for the owner to write, and `value` shows what the owner holds.
ColumnLayout {
    id: setting

    required property string title
    property string detail
    // Shown as it stands.
    required property string valueText
    required property real value
    property real from: 0
    property real to: 1
    property real step: 1
    property color color: Theme.orange
    readonly property alias slider: slider

    signal edited(real value)

    spacing: 7

    RowLayout {
        Layout.fillWidth: true

        SettingTitle {
            Layout.fillWidth: true
            title: setting.title
            detail: setting.detail
        }

        Text {
            objectName: "valueText"
            text: setting.valueText
            color: setting.color
            font.pixelSize: Theme.caption
            font.bold: true
            textFormat: Text.PlainText
        }
    }

    TintedSlider {
        id: slider

        objectName: "slider"
        Layout.fillWidth: true
        from: setting.from
        to: setting.to
        stepSize: setting.step
        snapMode: Slider.SnapAlways
        value: setting.value
        tint: setting.color
        Accessible.name: setting.title
        onMoved: setting.edited(value)
    }
}
