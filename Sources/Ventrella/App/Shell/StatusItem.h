#pragma once

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSystemTrayIcon>
#include <functional>
#include <optional>

#include "Ventrella/App/Shell/StatusItemPresenter.h"

class QWindow;

namespace ventrella::shell {

// The status item: an icon in the desktop's system tray (a Qt tray icon on the X11 tray). Its
// glyph is the appearance's symbol in the appearance's colour; the title and the mode go in the
// tool tip, since a tray icon has no title. Without a tray host the icon appears as soon as one
// starts.
//
// It acts on the left button's release over the icon, as a menu-bar button does. The tray
// reports the press; where the icon is a window of this application (the X11 tray), the
// release that follows in that window is the click, and a press taken off the icon before its
// release does nothing. Where the tray shows the icon in a window of its own, its report of
// the press is all there is and counts as the click.
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

    // `statusWindow` finds the icon's own window (default: the window of this application at
    // the icon's frame); null where it has none.
    explicit StatusItem(std::function<QWindow*()> statusWindow = nullptr,
                        QObject* parent = nullptr);

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
    // A left click (each click of a double click counts); right and middle clicks do nothing.
    void clicked();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void leftPressed();
    QWindow* findStatusWindow() const;

    QSystemTrayIcon tray_;
    std::function<QWindow*()> statusWindow_;
    QPointer<QWindow> watchedWindow_;
    bool pressed_ = false;
    StatusItemAppearance appearance_;
};

}  // namespace ventrella::shell
