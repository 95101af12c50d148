import QtQuick
import Ventrella.UI

// A symbol of the interface drawn in one colour, `size` points square.
Image {
    id: image

    required property string symbol
    property color color: Theme.primary
    property int size: 12

    width: size
    height: size
    fillMode: Image.PreserveAspectFit
    // Drawn at the screen's pixel size, so that it stays sharp.
    source: symbol.length > 0
            ? Theme.symbol(symbol, color, Math.ceil(size * Screen.devicePixelRatio)) : ""
    Accessible.ignored: true
}
