#include "Ventrella/UI/Palette.h"

namespace ventrella::ui {

namespace {

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

}  // namespace

QColor Palette::color(ColorRole role) const {
    switch (role) {
        case ColorRole::primary:
            return primary;
        case ColorRole::secondary:
            return secondary;
        case ColorRole::green:
            return green;
        case ColorRole::orange:
            return orange;
        case ColorRole::red:
            return red;
        case ColorRole::yellow:
            return yellow;
    }
    return primary;
}

Palette Palette::light() {
    const QColor ink(0x1d, 0x1d, 0x1f);
    return {
        .background = QColor(0xf4, 0xf4, 0xf5),
        .separator = withAlpha(ink, 0.12),
        .primary = ink,
        .secondary = withAlpha(ink, 0.60),
        .tertiary = withAlpha(ink, 0.35),
        .quaternary = withAlpha(ink, 0.22),
        .green = QColor(0x28, 0xa7, 0x45),
        .orange = QColor(0xf2, 0x8a, 0x00),
        .red = QColor(0xff, 0x3b, 0x30),
        // Darker than a menu bar's yellow, so that yellow text stays legible on a light popover.
        .yellow = QColor(0xd9, 0xa4, 0x00),
        .white = QColor(0xff, 0xff, 0xff),
        .accent = QColor(0x00, 0x7a, 0xff),
    };
}

Palette Palette::dark() {
    const QColor ink(0xf5, 0xf5, 0xf7);
    return {
        .background = QColor(0x26, 0x26, 0x28),
        .separator = withAlpha(ink, 0.14),
        .primary = ink,
        .secondary = withAlpha(ink, 0.62),
        .tertiary = withAlpha(ink, 0.38),
        .quaternary = withAlpha(ink, 0.26),
        .green = QColor(0x30, 0xd1, 0x58),
        .orange = QColor(0xff, 0x9f, 0x0a),
        .red = QColor(0xff, 0x45, 0x3a),
        .yellow = QColor(0xff, 0xd6, 0x0a),
        .white = QColor(0xff, 0xff, 0xff),
        .accent = QColor(0x0a, 0x84, 0xff),
    };
}

}  // namespace ventrella::ui
