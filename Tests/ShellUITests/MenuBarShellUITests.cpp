#include <gtest/gtest.h>
#include <signal.h>

#include <QColor>
#include <chrono>
#include <thread>

#include "ApplicationProgram.h"
#include "Support/VirtualDesktop.h"

namespace ventrella::shelluitests {
namespace {

using testsupport::DisplayWindow;
using testsupport::testArtifact;
using testsupport::VirtualDesktop;

// The application with no simulated machine under it: no SMC and no helper, so it shows what
// it can without them.
TEST(MenuBarShellUI, TheIconOpensThePopoverUnderItAndEscapeOrASecondClickClosesIt) {
    VirtualDesktop desktop;
    const ApplicationRoot root;
    ApplicationProgram application(desktop, root);
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << application.log();
    const auto tray = desktop.screenshot(testArtifact("tray-automatic.png"));
    // The template look: a light glyph.
    EXPECT_GT(pixelsNear(tray, *icon, QColor(0xf2, 0xf2, 0xf2)), 20);
    EXPECT_TRUE(application.waitFor("menubar.status_item symbol=thermometer.medium tint=panel"))
        << application.log();

    desktop.click(*icon);
    const auto shown = waitForPopover(desktop, true);
    ASSERT_TRUE(shown) << application.log();
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
    desktop.screenshot(testArtifact("popover-without-machine.png"));

    desktop.key("Escape");
    ASSERT_TRUE(waitForPopover(desktop, false));

    desktop.click(*icon);
    ASSERT_TRUE(waitForPopover(desktop, true));
    // Wait out the double-click interval, so that the next click is one of its own.
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    desktop.click(*icon);
    ASSERT_TRUE(waitForPopover(desktop, false));
    EXPECT_TRUE(application.process().running());
    EXPECT_EQ(application.count("qrc:"), 0) << application.log();
}

// The pointer rests on the popover as another client takes the keyboard focus (as Alt-Tab or a
// window manager would give it), so the popover stays open without it. A later click in that
// client, or on the desktop, far from the popover still closes it; a click into the popover
// gives it the focus back, and Escape closes it again.
TEST(MenuBarShellUI, AnInactivePopoverClosesOnALaterClickElsewhereAndEscapeOnceActiveAgain) {
    VirtualDesktop desktop;
    const ApplicationRoot root;
    ApplicationProgram application(desktop, root);
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << application.log();
    const auto panel = desktop.visibleWindows("^tint2$");
    ASSERT_FALSE(panel.empty());
    const struct {
        const char* what;
        int x;
        int y;
        bool onPopover;
    } clicks[] = {
        {"the popover, then Escape", -1, -1, true},
        {"the panel", 40, VirtualDesktop::panelHeight / 2, false},
        {"the desktop", 100, 600, false},
    };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.what);
        desktop.click(*icon);
        const auto shown = waitForPopover(desktop, true);
        ASSERT_TRUE(shown) << application.log();
        ASSERT_TRUE(desktop.waitUntilDrawn(*shown));
        // On the popover's title, away from its controls.
        const int restX = shown->x + 24;
        const int restY = shown->y + 22;
        desktop.run({"xdotool", "mousemove", std::to_string(restX), std::to_string(restY)});
        ASSERT_EQ(desktop.run({"xdotool", "windowfocus", "--sync", panel.front().id}).status, 0);
        // Qt tells the application of the lost focus a moment later (in case the focus comes
        // straight back); the pointer rests on the popover meanwhile.
        std::this_thread::sleep_for(std::chrono::seconds(1));
        if (c.onPopover) {
            desktop.click(restX, restY);
            const auto focused = desktop.waitForWindow([&]() -> std::optional<DisplayWindow> {
                const auto focus = desktop.run({"xdotool", "getwindowfocus"});
                if (focus.status == 0 && !focus.output.empty() &&
                    std::stoul(focus.output) == std::stoul(shown->id, nullptr, 16)) {
                    return shown;
                }
                return std::nullopt;
            });
            ASSERT_TRUE(focused) << "the popover did not take the focus back";
            desktop.key("Escape");
        } else {
            desktop.click(c.x, c.y);
        }
        ASSERT_TRUE(waitForPopover(desktop, false)) << application.log();
        // Wait out the double-click interval before the icon's next click.
        std::this_thread::sleep_for(std::chrono::milliseconds(450));
    }
    EXPECT_TRUE(application.process().running());
}

TEST(MenuBarShellUI, TheIconAppearsOnceATrayStarts) {
    VirtualDesktop desktop(/*trayHost=*/false);
    const ApplicationRoot root;
    ApplicationProgram application(desktop, root);
    ASSERT_TRUE(application.waitFor("menubar.no_system_tray")) << application.log();
    EXPECT_FALSE(trayIcon(desktop));
    desktop.startTrayHost();
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << application.log();
    // One line said that no tray was there yet.
    EXPECT_EQ(application.count("menubar.no_system_tray"), 1) << application.log();
}

TEST(MenuBarShellUI, TerminationSignalsEndTheProgramInOrderOnce) {
    VirtualDesktop desktop;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        const ApplicationRoot root;
        ApplicationProgram application(desktop, root, "ventrella-" + std::to_string(number));
        const auto icon = waitForIcon(desktop);
        ASSERT_TRUE(icon) << application.log();
        desktop.click(*icon);
        ASSERT_TRUE(waitForPopover(desktop, true));
        application.process().signal(number);
        application.process().signal(number);
        EXPECT_EQ(application.process().waitForExit(), 0) << application.log();
        EXPECT_EQ(
            application.count("app.terminating reason=signal signal=" + std::to_string(number)), 1)
            << application.log();
        EXPECT_EQ(application.count("app.terminating"), 1);
        // The popover closed on the way.
        EXPECT_FALSE(popover(desktop));
    }
}

TEST(MenuBarShellUI, AnArabicPopoverOpensRightToLeft) {
    const ApplicationRoot root(std::map<std::string, std::string>{{"ar", R"("Ventrella" = "فنتريلا";
"Temperature-based fan control" = "التحكم بالمراوح حسب الحرارة";
"Inactive — monitoring only" = "غير نشط — مراقبة فقط";
"Boost" = "تعزيز";
"Emergency" = "طوارئ";
"Settings" = "الإعدادات";
"Quit" = "إنهاء";)"}});
    core::GuardSettings settings;
    settings.appLanguage = core::AppLanguage::arabic;
    root.storeSettings(settings);
    VirtualDesktop desktop;
    ApplicationProgram application(desktop, root);
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << application.log();
    desktop.click(*icon);
    const auto shown = waitForPopover(desktop, true);
    ASSERT_TRUE(shown) << application.log();
    EXPECT_TRUE(desktop.waitUntilDrawn(*shown));
    desktop.screenshot(testArtifact("popover-arabic.png"));
    EXPECT_EQ(application.count("qrc:"), 0) << application.log();
}

}  // namespace
}  // namespace ventrella::shelluitests
