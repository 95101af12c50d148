#include "Ventrella/App/Shell/PopoverLayout.h"

#include <algorithm>

namespace ventrella::shell {

QSizeF PopoverLayout::contentSize(QSizeF fitting) {
    if (fitting.width() > 0 && fitting.height() > 0) {
        return fitting;
    }
    return {fallbackWidth, fallbackHeight};
}

double PopoverLayout::anchorOffset(double contentWidth) {
    return -0.1 * std::max(contentWidth, minimumAnchorWidth);
}

QRectF PopoverLayout::frame(const QRectF& statusFrame, QSizeF size, const QRectF& available) {
    // The middle from the edges: a rectangle's centre() is not used for integer frames.
    const double statusMiddle = statusFrame.left() + statusFrame.width() / 2.0;
    double x = statusMiddle + anchorOffset(size.width()) - size.width() / 2.0;
    const double statusCentreY = statusFrame.top() + statusFrame.height() / 2.0;
    const double availableCentreY = available.top() + available.height() / 2.0;
    const bool trayAtBottom = statusCentreY > availableCentreY;
    double y = trayAtBottom ? statusFrame.top() - gap - size.height()
                            : statusFrame.top() + statusFrame.height() + gap;
    x = std::max(std::min(x, available.left() + available.width() - size.width()),
                 available.left());
    y = std::max(std::min(y, available.top() + available.height() - size.height()),
                 available.top());
    return {x, y, size.width(), size.height()};
}

}  // namespace ventrella::shell
