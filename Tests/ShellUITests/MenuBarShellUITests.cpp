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

TEST(MenuBarShellUI, LosingTheFocusToAnotherWindowClosesThePopoverByWhereThePointerIs) {
    VirtualDesktop desktop;
    const ApplicationRoot root;
    ApplicationProgram application(desktop, root);
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << application.log();
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
