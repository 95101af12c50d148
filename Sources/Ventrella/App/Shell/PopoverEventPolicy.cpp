#include "Ventrella/App/Shell/PopoverEventPolicy.h"

namespace ventrella::shell {

namespace {

QRectF grown(const QRectF& rect) {
    return rect.adjusted(-PopoverEventPolicy::margin, -PopoverEventPolicy::margin,
                         PopoverEventPolicy::margin, PopoverEventPolicy::margin);
}

}  // namespace

bool PopoverEventPolicy::shouldClose(QPointF screenPoint, std::span<const QRectF> interactiveFrames,
                                     std::optional<QRectF> statusItemFrame,
                                     bool eventWindowIsPopover, bool eventWindowIsStatusItem) {
    if (eventWindowIsPopover || eventWindowIsStatusItem) {
        return false;
    }
    for (const QRectF& frame : interactiveFrames) {
        if (contains(grown(frame), screenPoint)) {
            return false;
        }
    }
    if (!statusItemFrame) {
        return true;
    }
    return !contains(grown(*statusItemFrame), screenPoint);
}

bool PopoverEventPolicy::contains(const QRectF& rect, QPointF point) {
    const QRectF normal = rect.normalized();
    return point.x() >= normal.left() && point.x() < normal.left() + normal.width() &&
           point.y() >= normal.top() && point.y() < normal.top() + normal.height();
}

}  // namespace ventrella::shell
