import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Ventrella.UI

// A titled group whose content shows only while `expanded`. It keeps no state of its own: a
// press on its title asks the owner, through `expansionRequested`, to expand or collapse it.
// The content is a column 12 points apart, 10 points below the title.
ColumnLayout {
    id: group

    required property string title
    required property string symbol
    required property bool expanded
    default property alias content: body.data

    signal expansionRequested(bool expanded)

    spacing: 0

    AbstractButton {
        id: header

        objectName: "disclosureHeader"
        Layout.fillWidth: true
        implicitHeight: Math.max(22, implicitContentHeight)
        padding: 0
        text: group.title
        Accessible.role: Accessible.Button
        Accessible.name: group.title
        Accessible.checkable: true
        Accessible.checked: group.expanded
        onClicked: group.expansionRequested(!group.expanded)

        contentItem: RowLayout {
            spacing: 6

            SymbolImage {
                objectName: "chevron"
                symbol: "chevron.right"
                color: Theme.secondary
                size: 10
                // Points toward the reading direction while collapsed, down while expanded.
                rotation: group.expanded ? 90 : (group.LayoutMirroring.enabled ? 180 : 0)
            }

            SymbolLabel {
                Layout.fillWidth: true
                symbol: group.symbol
                text: group.title
                color: Theme.primary
                font.pixelSize: Theme.caption
                font.weight: Font.DemiBold
            }
        }

        background: Item {}
    }

    ColumnLayout {
        id: body

        objectName: "disclosureContent"
        Layout.fillWidth: true
        Layout.topMargin: 10
        visible: group.expanded
        spacing: 12
    }
}
