import QtQuick
import Ventrella.UI

// The popover window's edge: a hairline around whatever content it shows, so that the popover
// stands apart from a background of its own colour.
Rectangle {
    color: "transparent"
    border.width: 1
    border.color: Qt.alpha(Theme.primary, Theme.dark ? 0.3 : 0.22)
    z: 1000
}
