import QtQuick
import QtQuick.Layouts
import Ventrella.UI

// A switch of the small control size with its title at the leading edge. It keeps no value of
// its own: a toggle is reported by `toggled` for the owner to write, and the switch then shows
// `checked` again, whatever the owner made of it.
RowLayout {
    id: row

    required property string title
    required property bool checked

    signal toggled(bool checked)

    spacing: 9

    Text {
        Layout.fillWidth: true
        text: row.title
        color: row.enabled ? Theme.primary : Theme.secondary
        font.pixelSize: Theme.caption
        horizontalAlignment: Text.AlignLeft
        wrapMode: Text.Wrap
        textFormat: Text.PlainText
    }

    ToggleSwitch {
        id: toggle

        objectName: "switch"
        checked: row.checked
        Accessible.name: row.title
        onToggled: {
            row.toggled(checked)
            checked = Qt.binding(() => row.checked)
        }
    }
}
