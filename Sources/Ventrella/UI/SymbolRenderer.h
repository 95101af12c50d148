#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace ventrella::ui {

// The interface's symbols ("fanblades", "exclamationmark.triangle.fill", …): our own line icons,
// one SVG each on a 24-unit grid in the module's resources. A symbol is drawn in black; white
// parts of it are holes (the check in "checkmark.circle.fill"), so that a symbol takes any
// colour and shows what lies behind it through its holes.
class SymbolRenderer {
  public:
    SymbolRenderer() = delete;

    // The resource of the named symbol, or an empty string for a name without one.
    static QString resourcePath(const QString& name);

    // The symbol in `color`, `size` pixels large (its 24-unit grid scaled into the size, centred);
    // a null image for an unknown name or an empty size.
    static QImage render(const QString& name, const QColor& color, QSize size);
};

}  // namespace ventrella::ui
