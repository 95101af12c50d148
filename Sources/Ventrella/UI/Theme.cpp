#include "Ventrella/UI/Theme.h"

#include <QGuiApplication>
#include <QPalette>

#include "Ventrella/UI/SymbolImageProvider.h"

namespace ventrella::ui {

namespace {

bool applicationIsDark() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return false;
    }
    return QGuiApplication::palette().color(QPalette::Window).lightnessF() < 0.5;
}

}  // namespace

Palette Theme::applicationPalette() {
    return applicationIsDark() ? Palette::dark() : Palette::light();
}

Theme::Theme(QObject* parent)
    : Theme(applicationIsDark() ? Palette::dark() : Palette::light(), applicationIsDark(), parent) {
}

Theme::Theme(Palette palette, bool dark, QObject* parent)
    : QObject(parent), palette_(std::move(palette)), dark_(dark) {}

QString Theme::symbol(const QString& name, const QColor& color, int pixels) const {
    return SymbolImageProvider::source(name, color, pixels);
}

}  // namespace ventrella::ui
