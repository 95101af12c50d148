#include "Ventrella/App/Shell/PopoverEventPolicy.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace ventrella::shell {
namespace {

const QRectF popover(100, 100, 360, 460);
const QRectF child(500, 300, 200, 100);
const QRectF statusItem(440, 4, 22, 22);

TEST(PopoverEventPolicy, ClosesOnlyForClicksBeyondTheMarginsOfEveryFrame) {
    const std::vector<QRectF> both = {popover, child};
    const std::vector<QRectF> none;
    const struct {
        const char* what;
        QPointF point;
        const std::vector<QRectF>& frames;
        std::optional<QRectF> status;
        bool inPopover;
        bool inStatusItem;
        bool closes;
    } cases[] = {
        {"inside the popover", {200, 200}, both, statusItem, false, false, false},
        {"1 point left of it", {99, 200}, both, statusItem, false, false, false},
        {"2 points left of it", {98, 200}, both, statusItem, false, false, false},
        {"3 points left of it", {97, 200}, both, statusItem, false, false, true},
        {"just inside the grown right edge", {461.9, 200}, both, statusItem, false, false, false},
        {"on the grown right edge", {462, 200}, both, statusItem, false, false, true},
        {"on the grown bottom edge", {200, 562}, both, statusItem, false, false, true},
        {"on the grown top edge", {200, 98}, both, statusItem, false, false, false},
        {"in a child window", {650, 350}, both, statusItem, false, false, false},
        {"near the child window", {701, 350}, both, statusItem, false, false, false},
        {"on the status item", {450, 10}, both, statusItem, false, false, false},
        {"beside the status item", {437, 10}, both, statusItem, false, false, true},
        {"there without a status frame", {450, 10}, both, std::nullopt, false, false, true},
        {"anywhere without frames", {200, 200}, none, std::nullopt, false, false, true},
        {"far away in the popover's window", {1000, 1000}, both, statusItem, true, false, false},
        {"far away in the status window", {1000, 1000}, none, std::nullopt, false, true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PopoverEventPolicy::shouldClose(c.point, c.frames, c.status, c.inPopover,
                                                  c.inStatusItem),
                  c.closes)
            << c.what;
    }
}

TEST(PopoverEventPolicy, RectanglesHoldTheirMinimumEdgesOnly) {
    const QRectF rect(10, 20, 30, 40);
    EXPECT_TRUE(PopoverEventPolicy::contains(rect, {10, 20}));
    EXPECT_FALSE(PopoverEventPolicy::contains(rect, {40, 30}));
    EXPECT_FALSE(PopoverEventPolicy::contains(rect, {20, 60}));
    EXPECT_FALSE(PopoverEventPolicy::contains(QRectF(10, 20, 0, 40), {10, 30}));
}

}  // namespace
}  // namespace ventrella::shell
