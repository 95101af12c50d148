#include "Ventrella/App/Shell/StatusItem.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPixmap>
#include <QWindow>
#include <string>

#include "Ventrella/App/Shell/ShellLog.h"
#include "Ventrella/UI/Palette.h"
#include "Ventrella/UI/SymbolRenderer.h"

namespace ventrella::shell {

namespace {

std::string tintName(GlyphTint tint) {
    switch (tint) {
        case GlyphTint::yellow:
            return "yellow";
        case GlyphTint::red:
            return "red";
        case GlyphTint::panel:
            break;
    }
    return "panel";
}

}  // namespace

QColor StatusItem::glyphColor(GlyphTint tint) {
    switch (tint) {
        case GlyphTint::yellow:
            return ui::Palette::dark().yellow;
        case GlyphTint::red:
            return ui::Palette::dark().red;
        case GlyphTint::panel:
            break;
    }
    return QColor(0xf2, 0xf2, 0xf2);
}

QIcon StatusItem::glyph(const std::string& symbol, GlyphTint tint) {
    QIcon icon;
    const QString name = QString::fromStdString(symbol);
    for (const int size : {16, 20, 22, 24, 32, 44, 48, 64}) {
        const QImage image = ui::SymbolRenderer::render(name, glyphColor(tint), QSize(size, size));
        if (image.isNull()) {
            return {};
        }
        icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

StatusItem::StatusItem(std::function<QWindow*()> statusWindow, QObject* parent)
    : QObject(parent),
      statusWindow_(statusWindow ? std::move(statusWindow) : std::function<QWindow*()>([this] {
          return findStatusWindow();
      })) {
    connect(&tray_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                    leftPressed();
                }
            });
}

void StatusItem::leftPressed() {
    QWindow* window = statusWindow_();
    if (window == nullptr) {
        emit clicked();
        return;
    }
    // The icon (and so its window) may be made anew when the tray host restarts.
    if (window != watchedWindow_) {
        if (watchedWindow_) {
            watchedWindow_->removeEventFilter(this);
        }
        watchedWindow_ = window;
        window->installEventFilter(this);
    }
    pressed_ = true;
}

bool StatusItem::eventFilter(QObject* watched, QEvent* event) {
    if (watched != watchedWindow_ || event->type() != QEvent::MouseButtonRelease) {
        return false;
    }
    const auto* release = static_cast<QMouseEvent*>(event);
    if (release->button() != Qt::LeftButton || !pressed_) {
        return false;
    }
    pressed_ = false;
    const QPointF at = release->position();
    if (at.x() >= 0 && at.y() >= 0 && at.x() < watchedWindow_->width() &&
        at.y() < watchedWindow_->height()) {
        emit clicked();
    }
    return false;
}

void StatusItem::show() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        shellLog().notice(
            applog::AppLogMessage("menubar.no_system_tray icon=shown_when_a_tray_starts"));
    }
    tray_.show();
}

void StatusItem::apply(const StatusItemAppearance& appearance) {
    if (appearance.symbol != appearance_.symbol || appearance.tint != appearance_.tint ||
        tray_.icon().isNull()) {
        tray_.setIcon(glyph(appearance.symbol, appearance.tint));
        // A new glyph marks a new mode; the title alone changes with every reading.
        shellLog().info(applog::AppLogMessage()
                        << "menubar.status_item symbol=" << applog::pub(appearance.symbol)
                        << " tint=" << applog::pub(tintName(appearance.tint)) << " label=\""
                        << applog::pub(appearance.accessibilityLabel) << "\"");
    }
    tray_.setToolTip(QString::fromStdString(appearance.toolTip));
    appearance_ = appearance;
}

std::optional<QRectF> StatusItem::frame() const {
    const QRect geometry = tray_.geometry();
    if (geometry.isEmpty()) {
        return std::nullopt;
    }
    return QRectF(geometry);
}

QWindow* StatusItem::findStatusWindow() const {
    for (QWindow* window : QGuiApplication::allWindows()) {
        if (window->isVisible() && isStatusWindow(window)) {
            return window;
        }
    }
    return nullptr;
}

bool StatusItem::isStatusWindow(const QWindow* window) const {
    const QRect geometry = tray_.geometry();
    if (window == nullptr || geometry.isEmpty()) {
        return false;
    }
    return QRect(window->mapToGlobal(QPoint(0, 0)), window->size()) == geometry;
}

}  // namespace ventrella::shell
