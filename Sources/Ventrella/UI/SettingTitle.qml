import QtQuick
import QtQuick.Layouts
import Ventrella.UI

// A setting's title over its detail, at the leading edge; both wrap when the row is narrow.
ColumnLayout {
    id: column

    required property string title
    property string detail

    spacing: 1

    Text {
        objectName: "title"
        Layout.fillWidth: true
        text: column.title
        color: Theme.primary
        font.pixelSize: Theme.caption
        font.weight: Font.DemiBold
        horizontalAlignment: Text.AlignLeft
        wrapMode: Text.WordWrap
        textFormat: Text.PlainText
    }

    Text {
        objectName: "detail"
        Layout.fillWidth: true
        visible: column.detail.length > 0
        text: column.detail
        color: Theme.secondary
        font.pixelSize: Theme.caption2
        horizontalAlignment: Text.AlignLeft
        wrapMode: Text.WordWrap
        textFormat: Text.PlainText
    }
}
