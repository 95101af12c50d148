#pragma once

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QRectF>
#include <QSystemTrayIcon>
#include <optional>

#include "Ventrella/App/Shell/StatusItemPresenter.h"

class QWindow;

namespace ventrella::shell {

// The status item: an icon in the desktop's system tray (a Qt tray icon on the X11 tray). Its
// glyph is the appearance's symbol in the appearance's colour; the title and the mode go in the
// tool tip, since a tray icon has no title. Without a tray host the icon appears as soon as one
// starts.
class StatusItem : public QObject {
    Q_OBJECT

  public:
    // The glyph colour of the template look. A tray has no template images and tells nobody its
    // colour; the glyph is drawn in a light grey that reads on the dark panels most desktops
    // put their tray on. The signal colours are the dark appearance's yellow and red.
    static QColor glyphColor(GlyphTint tint);

    // The glyph of `symbol` in `tint` at the tray's usual sizes; a null icon for an unknown
    // symbol.
    static QIcon glyph(const std::string& symbol, GlyphTint tint);

    explicit StatusItem(QObject* parent = nullptr);

    // Shows the icon now, or once a tray appears (logging once that none is there yet).
    void show();

    void apply(const StatusItemAppearance& appearance);
    const StatusItemAppearance& appearance() const { return appearance_; }

    // The icon's rectangle on the screen; absent while the tray tells none.
    std::optional<QRectF> frame() const;

    // Whether `window` is the icon's own window in the tray.
    bool isStatusWindow(const QWindow* window) const;

    QSystemTrayIcon& trayIcon() { return tray_; }

  signals:
    // A left click (a double click counts as one); right and middle clicks do nothing.
    void clicked();

  private:
    QSystemTrayIcon tray_;
    StatusItemAppearance appearance_;
};

}  // namespace ventrella::shell
