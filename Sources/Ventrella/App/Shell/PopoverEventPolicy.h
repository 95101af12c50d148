#pragma once

#include <QPointF>
#include <QRectF>
#include <optional>
#include <span>

namespace ventrella::shell {

// Whether a mouse click closes the open popover. All points and rectangles are in screen
// coordinates.
class PopoverEventPolicy {
  public:
    PopoverEventPolicy() = delete;

    // Points within 2 of a frame count as inside it.
    static constexpr double margin = 2.0;

    // False when the click's window is the popover's or the status item's, or when the point
    // lies within the margin of an interactive frame (the popover's window, then its child
    // windows) or of the status item's frame; true otherwise. A rectangle holds its minimum
    // edges but not its maximum ones.
    static bool shouldClose(QPointF screenPoint, std::span<const QRectF> interactiveFrames,
                            std::optional<QRectF> statusItemFrame, bool eventWindowIsPopover,
                            bool eventWindowIsStatusItem);

    // The containment test used above: x ≥ left and x < left + width, likewise for y.
    static bool contains(const QRectF& rect, QPointF point);
};

}  // namespace ventrella::shell
