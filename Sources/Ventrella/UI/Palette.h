#pragma once

#include <QColor>

#include "Ventrella/UI/ColorRole.h"

namespace ventrella::ui {

// The interface's colours for a light or a dark appearance. The named colours are those of the
// mode table (green, orange, red, yellow); the label colours are the primary text colour at
// falling strengths.
struct Palette {
    QColor background;
    QColor separator;
    QColor primary;
    QColor secondary;
    QColor tertiary;
    QColor quaternary;
    QColor green;
    QColor orange;
    QColor red;
    QColor yellow;
    QColor white;
    // Switches that are on and a window's default button.
    QColor accent;

    // The colour that plays `role`.
    QColor color(ColorRole role) const;

    static Palette light();
    static Palette dark();
};

}  // namespace ventrella::ui
