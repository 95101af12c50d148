#include "Ventrella/App/Shell/PopoverLayout.h"

#include <gtest/gtest.h>

#include <limits>

namespace ventrella::shell {
namespace {

TEST(PopoverLayout, AContentWithoutAWidthOrHeightGets360By460) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const struct {
        QSizeF fitting;
        QSizeF size;
    } cases[] = {
        {{320, 240}, {320, 240}}, {{0, 240}, {360, 460}},  {{320, 0}, {360, 460}},
        {{0, 0}, {360, 460}},     {{-5, 240}, {360, 460}}, {{nan, 240}, {360, 460}},
    };
    for (const auto& [fitting, size] : cases) {
        EXPECT_EQ(PopoverLayout::contentSize(fitting), size) << fitting.width();
    }
}

TEST(PopoverLayout, TheAnchorLiesATenthOfTheWidthLeftWith360AsTheFloor) {
    EXPECT_DOUBLE_EQ(PopoverLayout::anchorOffset(300), -36);
    EXPECT_DOUBLE_EQ(PopoverLayout::anchorOffset(360), -36);
    EXPECT_DOUBLE_EQ(PopoverLayout::anchorOffset(400), -40);
}

TEST(PopoverLayout, HangsBelowTheItemOrAboveItAtTheBottomInsideTheAvailableArea) {
    const QRectF screen(0, 0, 1280, 800);
    const struct {
        const char* what;
        QRectF status;
        QSizeF size;
        QRectF available;
        QRectF frame;
    } cases[] = {
        {"centred on the anchor", {600, 3, 22, 22}, {360, 252}, screen, {395, 29, 360, 252}},
        {"wide: the anchor moves further",
         {600, 3, 22, 22},
         {400, 252},
         screen,
         {371, 29, 400, 252}},
        {"at the right end of a top tray",
         {1252, 3, 22, 22},
         {360, 252},
         screen,
         {920, 29, 360, 252}},
        {"at the left end", {4, 3, 22, 22}, {360, 252}, screen, {0, 29, 360, 252}},
        {"a tray at the bottom", {1252, 775, 22, 22}, {360, 252}, screen, {920, 519, 360, 252}},
        {"below a panel that the available area leaves out",
         {1252, 3, 22, 22},
         {360, 252},
         {0, 40, 1280, 760},
         {920, 40, 360, 252}},
        {"taller than the screen", {600, 3, 22, 22}, {360, 900}, screen, {395, 0, 360, 900}},
        {"on a second screen",
         {1900, 3, 22, 22},
         {360, 252},
         {1280, 0, 1024, 768},
         {1695, 29, 360, 252}},
        {"a pointer's point when the tray tells no frame",
         {700, 10, 0, 0},
         {360, 252},
         screen,
         {484, 14, 360, 252}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PopoverLayout::frame(c.status, c.size, c.available), c.frame) << c.what;
    }
}

}  // namespace
}  // namespace ventrella::shell
