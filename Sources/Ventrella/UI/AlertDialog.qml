import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Layouts
import Ventrella.UI

// An alert in the middle of the item it is declared in (the popover's content): a title, a
// message and two buttons, "cancel" and "confirm", the second at the trailing edge. Its owner opens and closes it; `closed` follows every way it goes away, after
// the button's own signal. It never closes by itself on a click outside it.
Popup {
    id: alert

    property string title
    property string message
    property string cancelText
    property string confirmText
    // The confirming button's look: "default" (prominent) or "destructive" (red).
    property string confirmRole: "default"

    signal cancelled()
    signal confirmed()

    anchors.centerIn: parent
    width: 296
    modal: true
    dim: true
    closePolicy: Popup.NoAutoClose
    padding: 16

    background: Rectangle {
        radius: 12
        color: Theme.background
        border.width: 1
        border.color: Theme.separator
    }

    contentItem: ColumnLayout {
        spacing: 10

        Text {
            objectName: "alertTitle"
            Layout.fillWidth: true
            text: alert.title
            color: Theme.primary
            font.pixelSize: Theme.body
            font.weight: Font.Bold
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            horizontalAlignment: Text.AlignHCenter
            Accessible.role: Accessible.Heading
        }

        Text {
            objectName: "alertMessage"
            Layout.fillWidth: true
            text: alert.message
            color: Theme.primary
            font.pixelSize: Theme.caption
            wrapMode: Text.Wrap
            textFormat: Text.PlainText
            horizontalAlignment: Text.AlignHCenter
        }

        RowLayout {
            Layout.fillWidth: true
            Layout.topMargin: 4
            spacing: 8

            SmallButton {
                objectName: "alertCancel"
                Layout.fillWidth: true
                text: alert.cancelText
                onClicked: {
                    alert.cancelled()
                    alert.close()
                }
            }

            SmallButton {
                objectName: "alertConfirm"
                Layout.fillWidth: true
                text: alert.confirmText
                prominent: alert.confirmRole === "default"
                tint: alert.confirmRole === "destructive" ? Theme.red : "transparent"
                onClicked: {
                    alert.confirmed()
                    alert.close()
                }
            }
        }
    }
}
