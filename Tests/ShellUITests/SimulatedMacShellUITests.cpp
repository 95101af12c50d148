// The application on a simulated Mac with its helper running: what the dashboard shows of the
// machine, fan control switched on from the popover, Boost and Emergency as the machine heats,
// and Apple Automatic restored when the program is told to end, by a signal or by the end of
// the desktop session.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cmath>
#include <regex>
#include <thread>

#include "ApplicationProgram.h"
#include "ScreenText.h"
#include "SessionManager.h"
#include "Support/VirtualDesktop.h"
#include "VentrellaHelperE2ETests/SimulatedMac.h"

namespace ventrella::shelluitests {
namespace {

using testsupport::DisplayWindow;
using testsupport::testArtifact;
using testsupport::VirtualDesktop;

// The glyph's colours on the dark tray: yellow in Boost, red in Emergency.
const QColor boostGlyph(0xff, 0xd6, 0x0a);
const QColor emergencyGlyph(0xff, 0x45, 0x3a);

// Low thresholds, one sample to enter and no minimum run, so that the machine reaches Boost and
// Emergency within seconds of load: half the processor's load stays in Boost under the Boost
// fans, full load on processor and graphics goes on to Emergency.
core::GuardSettings quickSettings() {
    core::GuardSettings settings;
    settings.appLanguage = core::AppLanguage::english;
    settings.boostEnterCelsius = 45;
    settings.boostExitCelsius = 40;
    settings.boostEnterSamples = 1;
    settings.boostMinimumHoldSeconds = 0;
    settings.emergencyEnterCelsius = 60;
    settings.emergencyExitCelsius = 55;
    settings.emergencyMinimumHoldSeconds = 0;
    settings.pollIntervalSeconds = 1;
    return settings;
}

class SimulatedMacShellUI : public ::testing::Test {
  protected:
    // Reads the popover (where it is now: its height follows its content) on a new screenshot
    // `file` until `done` holds for what it shows (or the wait's deadline passes); the last
    // reading.
    ScreenText readPopoverUntil(const std::string& file,
                                const std::function<bool(const ScreenText&)>& done) {
        const auto deadline = std::chrono::steady_clock::now() + testsupport::eventDeadline;
        while (true) {
            const auto shown = popover(desktop);
            if (!shown) {
                throw std::runtime_error("the popover is not shown");
            }
            const auto screenshot = desktop.screenshot(testArtifact(file));
            ScreenText text = ScreenText::read(screenshot, *shown);
            if (done(text) || std::chrono::steady_clock::now() >= deadline) {
                return text;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
    }

    // The icon's tool tip, when it shows.
    std::optional<DisplayWindow> toolTip(const DisplayWindow& icon) const {
        for (const auto& window : desktop.visibleWindows("^Ventrella$", true)) {
            if (window.y >= icon.y + icon.height && window.height < 80 && window.width < 300) {
                return window;
            }
        }
        return std::nullopt;
    }

    // Rests the pointer on the icon until its tool tip shows; the tool tip's window.
    std::optional<DisplayWindow> toolTipOver(const DisplayWindow& icon) {
        desktop.run({"xdotool", "mousemove", std::to_string(icon.x + icon.width / 2),
                     std::to_string(icon.y + icon.height / 2)});
        return desktop.waitForWindow([&] { return toolTip(icon); });
    }

    // The machine's processor temperature now.
    double machineCelsius() const {
        return mac.status().at("temperatures").at("cpu").get<double>();
    }

    // Whether the icon comes to be drawn in `color`; the last screenshot is kept as `file`.
    bool iconDrawnIn(const DisplayWindow& icon, const QColor& color, const std::string& file) {
        return e2e::eventually(
            [&] { return pixelsNear(desktop.screenshot(testArtifact(file)), icon, color) > 20; });
    }

    std::vector<std::string> fanModes() const {
        std::vector<std::string> modes;
        const auto status = mac.status();
        for (const auto& fan : status.at("fans")) {
            modes.push_back(fan.at("mode").get<std::string>());
        }
        return modes;
    }

    e2e::SimulatedMac mac;
    VirtualDesktop desktop;
};

// The dashboard's temperature, "31.2°C" (the recogniser may read the degree sign as another
// character or none).
std::optional<double> shownTemperature(const ScreenText& text) {
    static const std::regex temperature(R"((\d{2,3}\.\d)\s?[^\s\d]{0,3}C)");
    std::smatch match;
    if (std::regex_search(text.text(), match, temperature)) {
        return std::stod(match[1].str());
    }
    return std::nullopt;
}

TEST_F(SimulatedMacShellUI, TheDashboardShowsTheMachineAndFanControlFollowsItToEmergency) {
    // The helper's daemon is up (the installed client is the application, not a command line).
    ASSERT_TRUE(e2e::eventually([this] { return mac.helperProcess().has_value(); }));
    const auto root = ApplicationRoot::existing(mac.root());
    root.storeSettings(quickSettings());
    ApplicationProgram application(desktop, root);
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << application.log();

    // ---- Monitoring only: the machine's temperature and fans ----
    desktop.click(*icon);
    const auto shown = waitForPopover(desktop, true);
    ASSERT_TRUE(shown) << application.log();
    ASSERT_TRUE(desktop.waitUntilDrawn(*shown));
    // The machine warms towards its idle temperature meanwhile: the shown value lies within
    // 2 °C of what the machine had between the last two readings before the screenshot.
    double earlier = machineCelsius();
    double later = earlier;
    const ScreenText idle =
        readPopoverUntil("dashboard-automatic-inactive.png", [&](const ScreenText& text) {
            const auto shown = shownTemperature(text);
            const bool near = shown && *shown >= std::min(earlier, later) - 2.0 &&
                              *shown <= std::max(earlier, later) + 2.0;
            earlier = later;
            later = machineCelsius();
            return near && text.find("Inactive") && text.find("1200");
        });
    const auto temperature = shownTemperature(idle);
    ASSERT_TRUE(temperature) << idle.text();
    EXPECT_GE(*temperature, std::min(earlier, later) - 2.0 - 1.0) << idle.text();
    EXPECT_LE(*temperature, std::max(earlier, later) + 2.0 + 1.0) << idle.text();
    // Both fans of the machine, idle at their minimum speeds.
    EXPECT_NE(idle.text().find("Fans: 2"), std::string::npos) << idle.text();
    EXPECT_NE(idle.text().find("1200 RPM"), std::string::npos) << idle.text();
    EXPECT_NE(idle.text().find("1300 RPM"), std::string::npos) << idle.text();
    EXPECT_NE(idle.text().find("Inactive"), std::string::npos) << idle.text();
    // ---- The switch turns control on ----
    const auto switchTitle = idle.find("Temperature-based");
    ASSERT_TRUE(switchTitle) << idle.text();
    // The switch stands at the row's trailing end, 16 points in from the popover's edge.
    desktop.click(shown->x + shown->width - 33, switchTitle->area.y + switchTitle->area.height);
    const ScreenText active =
        readPopoverUntil("dashboard-automatic-active.png",
                         [](const ScreenText& text) { return text.find("Active").has_value(); });
    EXPECT_TRUE(active.find("Active")) << active.text() << application.log();
    // The icon shows that control is on.
    EXPECT_TRUE(application.waitFor("symbol=shield.checkered")) << application.log();

    // ---- Load: Boost, then Emergency; the icon and its tool tip follow ----
    ASSERT_EQ(mac.virtualMac({"load", "--cpu", "50"}).exitCode, 0);
    ASSERT_TRUE(application.waitFor("tint=yellow")) << application.log();
    EXPECT_EQ(application.count("tint=yellow label=\"Ventrella, "), application.count(", Boost\""))
        << application.log();
    EXPECT_TRUE(iconDrawnIn(*icon, boostGlyph, "tray-boost.png"));
    // The tool tip: the title (the temperature with its leading space), then the mode.
    const auto tip = toolTipOver(*icon);
    ASSERT_TRUE(tip) << application.log();
    const ScreenText tipText =
        ScreenText::read(desktop.screenshot(testArtifact("tooltip-boost.png")), *tip);
    EXPECT_TRUE(std::regex_search(tipText.text(), std::regex(R"(^\d{2}\S*\nVentrella \S+ Boost$)")))
        << tipText.text();
    // The pointer leaves, and the tool tip with it.
    desktop.run({"xdotool", "mousemove", "100", "600"});
    EXPECT_TRUE(e2e::eventually([&] { return !toolTip(*icon); }));
    EXPECT_TRUE(readPopoverUntil("dashboard-boost.png", [](const ScreenText& text) {
                    return text.find("Boost").has_value();
                }).find("Boost"));
    EXPECT_NE(fanModes(), (std::vector<std::string>{"automatic", "automatic"}));

    ASSERT_EQ(mac.virtualMac({"load", "--cpu", "100", "--gpu", "100"}).exitCode, 0);
    ASSERT_TRUE(application.waitFor("tint=red")) << application.log();
    EXPECT_TRUE(iconDrawnIn(*icon, emergencyGlyph, "tray-emergency.png"));
    EXPECT_TRUE(readPopoverUntil("dashboard-emergency.png", [](const ScreenText& text) {
                    return text.find("Emergency").has_value();
                }).find("Emergency"));

    // ---- Escape closes; a click opens; a second click closes ----
    desktop.key("Escape");
    ASSERT_TRUE(waitForPopover(desktop, false));
    desktop.click(*icon);
    ASSERT_TRUE(waitForPopover(desktop, true));
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    desktop.click(*icon);
    ASSERT_TRUE(waitForPopover(desktop, false));

    // ---- SIGTERM: the fans go back to Apple Automatic before the program ends ----
    ASSERT_NE(fanModes(), (std::vector<std::string>{"automatic", "automatic"}));
    application.process().signal(SIGTERM);
    EXPECT_EQ(application.process().waitForExit(), 0) << application.log();
    EXPECT_EQ(fanModes(), (std::vector<std::string>{"automatic", "automatic"}))
        << mac.status().at("fans").dump(2);
    EXPECT_EQ(application.count("app.terminating reason=signal signal=15"), 1);
}

TEST_F(SimulatedMacShellUI, TheSessionsEndGivesTheFansBackBeforeTheProgramEnds) {
    ASSERT_TRUE(e2e::eventually([this] { return mac.helperProcess().has_value(); }));
    const auto root = ApplicationRoot::existing(mac.root());
    root.storeSettings(quickSettings());
    SessionManager session;
    ApplicationProgram application(desktop, root, "ventrella-session",
                                   {{"SESSION_MANAGER", session.address()}});
    ASSERT_TRUE(session.waitForClients(1)) << application.log();
    const auto icon = waitForIcon(desktop);
    ASSERT_TRUE(icon) << application.log();
    desktop.click(*icon);
    const auto shown = waitForPopover(desktop, true);
    ASSERT_TRUE(shown) << application.log();
    const ScreenText inactive =
        readPopoverUntil("session-inactive.png", [](const ScreenText& text) {
            return text.find("Inactive").has_value() && text.find("Temperature-based").has_value();
        });
    const auto switchTitle = inactive.find("Temperature-based");
    ASSERT_TRUE(switchTitle) << inactive.text();
    desktop.click(shown->x + shown->width - 33, switchTitle->area.y + switchTitle->area.height);
    ASSERT_TRUE(application.waitFor("symbol=shield.checkered")) << application.log();
    // A serious thermal state: Emergency, the fans at their maximum by the model's request.
    ASSERT_EQ(mac.virtualMac({"thermal-state", "serious"}).exitCode, 0);
    ASSERT_TRUE(application.waitFor("tint=red")) << application.log();
    ASSERT_NE(fanModes(), (std::vector<std::string>{"automatic", "automatic"}));

    session.endSession();
    EXPECT_EQ(application.process().waitForExit(), 0) << application.log();
    EXPECT_EQ(fanModes(), (std::vector<std::string>{"automatic", "automatic"}))
        << mac.status().at("fans").dump(2);
    EXPECT_EQ(application.count("app.terminating reason=quit"), 1) << application.log();
}

}  // namespace
}  // namespace ventrella::shelluitests
