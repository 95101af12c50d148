#pragma once

#include <QRectF>
#include <QSizeF>

namespace ventrella::shell {

// Where the popover goes and how large it is. All rectangles are in screen coordinates.
class PopoverLayout {
  public:
    PopoverLayout() = delete;

    static constexpr double fallbackWidth = 360.0;
    static constexpr double fallbackHeight = 460.0;
    // The width below which the anchor's offset stops shrinking.
    static constexpr double minimumAnchorWidth = 360.0;
    // Between the status item and the popover.
    static constexpr double gap = 4.0;

    // The content's fitting size when both its width and height are greater than 0, else
    // 360 × 460.
    static QSizeF contentSize(QSizeF fitting);

    // Where the popover's middle lies relative to the status item's middle, horizontally:
    // −0.1 × max(width, 360), so at least 36 points to the left.
    static double anchorOffset(double contentWidth);

    // The popover's frame for content of `size`: centred on the anchor, below the status item,
    // or above it when the item lies in the lower half of `available` (a tray at the bottom),
    // then moved into `available` as far as it fits (its top-left corner wins when it does not).
    static QRectF frame(const QRectF& statusFrame, QSizeF size, const QRectF& available);
};

}  // namespace ventrella::shell
