import QtQuick
import QtQuick.Layouts
import Ventrella.UI

// A card of the settings page: its title with a symbol, a divider and the card's content, padded
// 12 points on a rounded, faintly filled background. The content is laid out in a column 10
// points apart and takes the card's width (Layout.fillWidth).
Item {
    id: section

    required property string title
    required property string symbol
    default property alias content: body.data
    readonly property real padding: 12

    implicitWidth: 332
    implicitHeight: column.implicitHeight + 2 * padding

    Rectangle {
        anchors.fill: parent
        radius: 11
        color: Theme.quaternary
        opacity: 0.35
    }

    ColumnLayout {
        id: column

        x: section.padding
        y: section.padding
        width: section.width - 2 * section.padding
        spacing: 10

        SymbolLabel {
            objectName: "sectionTitle"
            Layout.fillWidth: true
            symbol: section.symbol
            text: section.title
            color: Theme.primary
            font.pixelSize: Theme.subheadline
            font.weight: Font.DemiBold
            spacing: 6
            Accessible.role: Accessible.Heading
            Accessible.name: section.title
        }

        Rectangle {
            Layout.fillWidth: true
            implicitHeight: 1
            color: Theme.separator
        }

        ColumnLayout {
            id: body

            Layout.fillWidth: true
            spacing: 10
        }
    }
}
