import QtQuick
import QtQuick.Controls.Basic
import Ventrella.UI

// A button that is only its symbol, dimmed while disabled and while pressed.
AbstractButton {
    id: control

    required property string symbol
    property color color: Theme.primary

    implicitWidth: 22
    implicitHeight: 22
    padding: 0
    Accessible.role: Accessible.Button
    Accessible.name: text

    contentItem: Item {
        SymbolImage {
            anchors.centerIn: parent
            symbol: control.symbol
            color: control.color
            size: 12
            opacity: !control.enabled ? 0.3 : control.down ? 0.55 : 1
        }
    }
}
