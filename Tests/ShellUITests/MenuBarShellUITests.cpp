#include <gtest/gtest.h>
#include <signal.h>

#include <QColor>
#include <QImage>
#include <chrono>
#include <thread>

#include "DemoProgram.h"
#include "Support/TemporaryBundle.h"
#include "Support/VirtualDesktop.h"

namespace ventrella::shelluitests {
namespace {

using testsupport::DisplayWindow;
using testsupport::testArtifact;
using testsupport::VirtualDesktop;

// How many pixels of a window's rectangle on a screenshot are near `color`.
int pixelsNear(const std::filesystem::path& screenshot, const DisplayWindow& window,
               const QColor& color) {
    const QImage image(QString::fromStdString(screenshot.string()));
    int count = 0;
    for (int y = window.y; y < window.y + window.height; ++y) {
        for (int x = window.x; x < window.x + window.width; ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (std::abs(pixel.red() - color.red()) < 40 &&
                std::abs(pixel.green() - color.green()) < 40 &&
                std::abs(pixel.blue() - color.blue()) < 40) {
                ++count;
            }
        }
    }
    return count;
}

std::optional<DisplayWindow> waitForIcon(const VirtualDesktop& desktop) {
    return desktop.waitForWindow([&] { return trayIcon(desktop); });
}

std::optional<DisplayWindow> waitForPopover(const VirtualDesktop& desktop, bool shown) {
    const auto found = desktop.waitForWindow([&]() -> std::optional<DisplayWindow> {
        auto window = popover(desktop);
        if (shown) {
            return window;
        }
        return window ? std::nullopt : std::optional<DisplayWindow>(DisplayWindow{});
    });
    return found;
}

TEST(MenuBarShellUI, TheIconOpensThePopoverUnderItAndEscapeOrASecondClickClosesIt) {
    VirtualDesktop desktop;
    DemoProgram demo(desktop, {"--mode", "boost", "--temperature", "83.6"});
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << demo.errors();
    const auto tray = desktop.screenshot(testArtifact("tray-boost.png"));
    // Boost draws the glyph in yellow.
    EXPECT_GT(pixelsNear(tray, *icon, QColor(0xff, 0xd6, 0x0a)), 20);

    desktop.click(*icon);
    const auto shown = waitForPopover(desktop, true);
    ASSERT_TRUE(shown) << demo.errors();
    EXPECT_FALSE(demo.waitForLine("popover.opened").empty());
    // Below the icon, inside the screen, 36 points or more left of the icon's middle unless the
    // screen's edge holds it.
    EXPECT_GE(shown->y, icon->y + icon->height);
    EXPECT_LE(shown->y, icon->y + icon->height + 8);
    EXPECT_EQ(shown->width, 360);
    EXPECT_LE(shown->x + shown->width, VirtualDesktop::width);
    const int iconMiddle = icon->x + icon->width / 2;
    EXPECT_TRUE(shown->x + shown->width / 2 <= iconMiddle - 36 ||
                shown->x + shown->width == VirtualDesktop::width);
    EXPECT_TRUE(desktop.waitUntilDrawn(*shown));
    desktop.screenshot(testArtifact("popover-boost.png"));

    desktop.key("Escape");
    ASSERT_TRUE(waitForPopover(desktop, false));
    EXPECT_FALSE(demo.waitForLine("popover.closed").empty());

    desktop.click(*icon);
    ASSERT_TRUE(waitForPopover(desktop, true));
    // Wait out the double-click interval, so that the next click is one of its own.
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    desktop.click(*icon);
    ASSERT_TRUE(waitForPopover(desktop, false));
    EXPECT_EQ(demo.countLines("popover.opened"), 2);
    EXPECT_EQ(demo.countLines("popover.closed"), 2);
    EXPECT_TRUE(demo.process().running());
}

TEST(MenuBarShellUI, LosingTheFocusToAnotherWindowClosesThePopoverByWhereThePointerIs) {
    VirtualDesktop desktop;
    DemoProgram demo(desktop, {});
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << demo.errors();
    const auto panel = desktop.visibleWindows("^tint2$");
    ASSERT_FALSE(panel.empty());
    for (const bool pointerInside : {true, false}) {
        desktop.click(*icon);
        const auto shown = waitForPopover(desktop, true);
        ASSERT_TRUE(shown);
        const int x = pointerInside ? shown->x + 20 : 100;
        const int y = pointerInside ? shown->y + shown->height - 20 : 600;
        desktop.run({"xdotool", "mousemove", std::to_string(x), std::to_string(y)});
        // Another client takes the keyboard focus, as a click into it would under a window
        // manager.
        desktop.run({"xdotool", "windowfocus", panel.front().id});
        if (pointerInside) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_TRUE(popover(desktop)) << "the pointer is on the popover";
            desktop.click(*icon);
        }
        ASSERT_TRUE(waitForPopover(desktop, false)) << pointerInside;
        std::this_thread::sleep_for(std::chrono::milliseconds(450));
    }
    EXPECT_EQ(demo.countLines("popover.closed"), 2);
}

TEST(MenuBarShellUI, TheIconAppearsOnceATrayStarts) {
    VirtualDesktop desktop(/*trayHost=*/false);
    DemoProgram demo(desktop, {"--mode", "automatic", "--control"});
    ASSERT_FALSE(demo.waitForLine("no such line", 1, 0.5).size());
    EXPECT_FALSE(trayIcon(desktop));
    desktop.startTrayHost();
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << demo.errors();
    // One line said that no tray was there yet.
    const std::string errors = demo.errors();
    const auto first = errors.find("menubar.no_system_tray");
    EXPECT_NE(first, std::string::npos) << errors;
    EXPECT_EQ(errors.find("menubar.no_system_tray", first + 1), std::string::npos) << errors;
    // The template look: a light glyph.
    const auto shot = desktop.screenshot(testArtifact("tray-automatic.png"));
    EXPECT_GT(pixelsNear(shot, *icon, QColor(0xf2, 0xf2, 0xf2)), 20);
}

TEST(MenuBarShellUI, TerminationSignalsEndTheProgramInOrderOnce) {
    VirtualDesktop desktop;
    for (const int number : {SIGTERM, SIGHUP}) {
        DemoProgram demo(desktop, {"--mode", "emergency"}, "demo-" + std::to_string(number));
        const auto icon = waitForIcon(desktop);
        ASSERT_TRUE(icon) << demo.errors();
        desktop.click(*icon);
        ASSERT_TRUE(waitForPopover(desktop, true));
        demo.process().signal(number);
        demo.process().signal(number);
        EXPECT_EQ(demo.process().waitForExit(10.0), 0) << demo.errors();
        EXPECT_EQ(demo.countLines("terminating signal=" + std::to_string(number)), 1);
        EXPECT_EQ(demo.countLines("terminating"), 1);
        EXPECT_EQ(demo.lines().back(), "exited");
        // The popover closed on the way.
        EXPECT_EQ(demo.countLines("popover.closed"), 1);
        EXPECT_FALSE(popover(desktop));
    }
}

TEST(MenuBarShellUI, AnArabicPopoverOpensRightToLeft) {
    testsupport::TemporaryBundle bundle;
    bundle.addTable("en", R"("Quit" = "Quit";)");
    bundle.addTable("ar", R"("Ventrella" = "فنتريلا";
"Boost" = "تعزيز";
"Emergency" = "طوارئ";
"Emergency cooling" = "تبريد طارئ";
"Settings" = "الإعدادات";
"Quit" = "إنهاء";)");
    VirtualDesktop desktop;
    DemoProgram demo(desktop, {"--mode", "boost", "--temperature", "91.2", "--language", "ar",
                               "--bundle", bundle.path().string()});
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << demo.errors();
    desktop.click(*icon);
    const auto shown = waitForPopover(desktop, true);
    ASSERT_TRUE(shown) << demo.errors();
    EXPECT_TRUE(desktop.waitUntilDrawn(*shown));
    desktop.screenshot(testArtifact("popover-arabic.png"));
    EXPECT_TRUE(demo.errors().find("QML") == std::string::npos) << demo.errors();
}

}  // namespace
}  // namespace ventrella::shelluitests
