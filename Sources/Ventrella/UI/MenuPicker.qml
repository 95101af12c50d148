import QtQuick
import QtQuick.Controls.Basic
import Ventrella.UI

// A menu-style picker: a button showing the chosen entry, its text at the trailing edge, which
// opens the list of every entry. Entries are {value, text}; it keeps no choice of its own: a
// choice is reported by `chosen` for the owner to write, and the picker shows `value` again.
ComboBox {
    id: control

    required property var choices
    required property string value

    signal chosen(string value)

    model: choices
    textRole: "text"
    valueRole: "value"
    currentIndex: indexIn(choices, value)
    implicitHeight: 22
    // The indicator sits at the trailing edge, in either direction.
    leftPadding: mirrored ? 8 + indicator.width + spacing : 8
    rightPadding: mirrored ? 8 : 8 + indicator.width + spacing
    spacing: 5
    font.pixelSize: Theme.caption

    onActivated: (index) => {
        control.chosen(control.valueAt(index))
        control.currentIndex = Qt.binding(() => control.indexIn(control.choices, control.value))
    }

    // The entry of `list` whose value is `wanted`, or -1.
    function indexIn(list: var, wanted: string): int {
        for (let index = 0; index < list.length; ++index) {
            if (list[index].value === wanted)
                return index
        }
        return -1
    }

    contentItem: Text {
        text: control.displayText
        font: control.font
        color: Theme.primary
        horizontalAlignment: Text.AlignRight
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        textFormat: Text.PlainText
    }

    indicator: SymbolImage {
        x: control.mirrored ? 8 : control.width - width - 8
        y: (control.height - height) / 2
        symbol: "chevron.right"
        color: Theme.secondary
        size: 9
        rotation: 90
    }

    background: Rectangle {
        implicitWidth: 120
        implicitHeight: 22
        radius: 6
        color: Qt.alpha(Theme.primary, control.down ? 0.22 : 0.1)
        border.width: 1
        border.color: Qt.alpha(Theme.primary, 0.22)
        opacity: control.enabled ? 1 : 0.45
    }
}
