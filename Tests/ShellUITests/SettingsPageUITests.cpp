#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QColor>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "ApplicationProgram.h"
#include "Platform/Foundation/LineExchange.h"
#include "Platform/Foundation/PropertyListUserDefaults.h"
#include "ScreenText.h"
#include "Support/FileContents.h"
#include "Support/ProcessState.h"
#include "Support/VirtualDesktop.h"
#include "Ventrella/Core/GuardSettingsJSON.h"
#include "VentrellaHelperE2ETests/SimulatedMac.h"

namespace ventrella::shelluitests {
namespace {

namespace fs = std::filesystem;
using testsupport::DisplayWindow;
using testsupport::testArtifact;
using testsupport::VirtualDesktop;

// A patch of one colour on a screenshot: its bounding box and how many of its pixels there are.
struct Blob {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int pixels = 0;

    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
    int middleX() const { return (left + right) / 2; }
    int middleY() const { return (top + bottom) / 2; }
};

bool near(const QColor& pixel, const QColor& color, int tolerance) {
    return std::abs(pixel.red() - color.red()) < tolerance &&
           std::abs(pixel.green() - color.green()) < tolerance &&
           std::abs(pixel.blue() - color.blue()) < tolerance;
}

// The connected patches of pixels near `color` inside the window, top to bottom.
std::vector<Blob> blobs(const fs::path& screenshot, const DisplayWindow& window,
                        const QColor& color, int tolerance = 30) {
    const QImage image(QString::fromStdString(screenshot.string()));
    std::vector<char> seen(static_cast<std::size_t>(window.width * window.height), 0);
    std::vector<Blob> found;
    const auto matches = [&](int x, int y) {
        return x >= window.x && y >= window.y && x < window.x + window.width &&
               y < window.y + window.height && x < image.width() && y < image.height() &&
               near(image.pixelColor(x, y), color, tolerance);
    };
    const auto index = [&](int x, int y) {
        return static_cast<std::size_t>((y - window.y) * window.width + (x - window.x));
    };
    for (int y = window.y; y < window.y + window.height; ++y) {
        for (int x = window.x; x < window.x + window.width; ++x) {
            if (seen[index(x, y)] || !matches(x, y)) {
                continue;
            }
            Blob blob{x, y, x, y, 0};
            std::vector<std::pair<int, int>> stack{{x, y}};
            seen[index(x, y)] = 1;
            while (!stack.empty()) {
                const auto [px, py] = stack.back();
                stack.pop_back();
                ++blob.pixels;
                blob.left = std::min(blob.left, px);
                blob.right = std::max(blob.right, px);
                blob.top = std::min(blob.top, py);
                blob.bottom = std::max(blob.bottom, py);
                for (const auto& [dx, dy] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1}}) {
                    const int nx = px + dx;
                    const int ny = py + dy;
                    if (matches(nx, ny) && !seen[index(nx, ny)]) {
                        seen[index(nx, ny)] = 1;
                        stack.emplace_back(nx, ny);
                    }
                }
            }
            found.push_back(blob);
        }
    }
    return found;
}

using testsupport::readFile;

class SettingsPageUI : public testing::Test {
  protected:
    static constexpr QColor orange{0xf2, 0x8a, 0x00};
    static constexpr QColor red{0xff, 0x3b, 0x30};
    static constexpr QColor accent{0x00, 0x7a, 0xff};

    // The settings page's "Save", filled with the accent colour, on a new screenshot of the
    // window: the largest patch of that colour, when it is large enough to be the button.
    std::optional<Blob> saveButton(const DisplayWindow& window, const std::string& screenshot) {
        std::optional<Blob> save;
        for (const auto& blob :
             blobs(desktop.screenshot(testArtifact(screenshot)), window, accent)) {
            if (!save || blob.pixels > save->pixels) {
                save = blob;
            }
        }
        return save && save->pixels > 200 ? save : std::nullopt;
    }

    // Opens the popover from the icon, then the settings page from the dashboard's footer.
    DisplayWindow openSettings(ApplicationProgram& application, bool rightToLeft = false) {
        const auto icon = waitForIcon(desktop);
        EXPECT_TRUE(icon) << application.log();
        if (!icon) {
            return {};
        }
        desktop.click(*icon);
        // The dashboard grows once the first readings arrive, which on a busy machine can be
        // seconds after it shows: a click that went to the footer's old place is tried again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            auto dashboard = desktop.waitForWindow([&] { return popover(desktop); });
            EXPECT_TRUE(dashboard) << application.log();
            if (!dashboard) {
                return {};
            }
            EXPECT_TRUE(desktop.waitUntilDrawn(*dashboard) && desktop.waitUntilStill(*dashboard));
            dashboard = popover(desktop).value_or(*dashboard);
            // "Settings" leads the footer ("Quit" trails).
            desktop.click(rightToLeft ? dashboard->x + dashboard->width - 60 : dashboard->x + 60,
                          dashboard->y + dashboard->height - 30);
            // The page slides in and the window takes its height.
            std::optional<DisplayWindow> page;
            const auto opened = [&] {
                page = popover(desktop);
                return page && saveButton(*page, "settings-opening.png");
            };
            if (e2e::eventually(opened)) {
                EXPECT_TRUE(desktop.waitUntilStill(*page));
                return popover(desktop).value_or(*page);
            }
        }
        ADD_FAILURE() << "the settings page never opened\n" << application.log();
        return {};
    }

    void drag(int fromX, int fromY, int toX) const {
        desktop.run({"xdotool", "mousemove", std::to_string(fromX), std::to_string(fromY)});
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        desktop.run({"xdotool", "mousedown", "1"});
        const int steps = 6;
        for (int step = 1; step <= steps; ++step) {
            const int x = fromX + (toX - fromX) * step / steps;
            desktop.run({"xdotool", "mousemove", std::to_string(x), std::to_string(fromY)});
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        desktop.run({"xdotool", "mouseup", "1"});
    }

    // Scrolls the page's cards to their end with the wheel, over the scroll area.
    void scrollToEnd(const DisplayWindow& page) const {
        desktop.run(
            {"xdotool", "mousemove", std::to_string(page.x + 180), std::to_string(page.y + 300)});
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        desktop.run({"xdotool", "click", "--repeat", "40", "--delay", "15", "5"});
        // The cards glide on after the wheel.
        EXPECT_TRUE(desktop.waitUntilStill(page));
    }

    // The helper row's "Remove…": the lowest patch of red text on the page, scrolled to the end.
    std::optional<Blob> removeButton(const DisplayWindow& page, const std::string& screenshot) {
        const auto path = desktop.screenshot(testArtifact(screenshot));
        std::optional<Blob> lowest;
        for (const auto& blob : blobs(path, page, red)) {
            // Letters of the caption font, in the card's trailing half.
            if (blob.pixels >= 3 && blob.height() <= 14 && blob.left > page.x + page.width / 2 &&
                (!lowest || blob.top > lowest->top - 4)) {
                lowest = blob;
            }
        }
        return lowest;
    }

    // Keeps screenshots of the page's top and end; "Save", filled with the accent colour, stands
    // at the footer's trailing edge.
    void expectSaveAtTrailingEdge(const DisplayWindow& page, const std::string& file,
                                  bool rightToLeft) {
        std::optional<Blob> save;
        const auto findSave = [&] { return (save = saveButton(page, file)).has_value(); };
        ASSERT_TRUE(e2e::eventually(findSave)) << file;
        if (rightToLeft) {
            EXPECT_LT(save->middleX(), page.x + page.width / 2);
        } else {
            EXPECT_GT(save->middleX(), page.x + page.width / 2);
        }
        scrollToEnd(page);
        desktop.screenshot(testArtifact("end-" + file));
    }

    // The word of a button that starts with `prefix` ("Install…"), read on a new screenshot of
    // the page: in the page's trailing half, where the rows' buttons stand (their texts lead).
    std::optional<ScreenWord> trailingWord(const DisplayWindow& page, const std::string& prefix,
                                           const std::string& screenshot) {
        const ScreenText shown =
            ScreenText::read(desktop.screenshot(testArtifact(screenshot)), page);
        for (const auto& word : shown.words()) {
            // A button's symbol may be read as a letter joined to its first word.
            if (word.text.find(prefix) != std::string::npos &&
                word.area.x + word.area.width > page.x + page.width / 2) {
                return word;
            }
        }
        return std::nullopt;
    }

    // What the machine's launchd holds of the application's registration of its helper.
    static std::string registrationStatus(const e2e::SimulatedMac& mac) {
        const nlohmann::json request{
            {"command", "service.status"},
            {"bundle", (mac.root() / "Applications" / "Ventrella.app").string()},
            {"plist", "com.quillmoor.Ventrella.helper.plist"}};
        const auto answer = nlohmann::json::parse(platform::foundation::exchangeLine(
            mac.root() / "var" / "run" / "virtual-mac" / "control.sock", request.dump(),
            testsupport::eventDeadlineSeconds));
        return answer.value("status", "");
    }

    VirtualDesktop desktop;
};

TEST_F(SettingsPageUI, DraggingTheBoostStartAndSavingChangesTheModelAndTheStoredSettings) {
    const ApplicationRoot root;
    core::GuardSettings stored;
    stored.appLanguage = core::AppLanguage::english;
    root.storeSettings(stored);
    ApplicationProgram application(desktop, root);
    const DisplayWindow page = openSettings(application);
    ASSERT_GT(page.width, 0);

    // The Boost band's start handle: the first filled orange disc on the page, 21 points wide.
    std::optional<Blob> handle;
    const auto findHandle = [&] {
        const auto before = desktop.screenshot(testArtifact("settings-before-drag.png"));
        for (const auto& blob : blobs(before, page, orange)) {
            if (blob.width() >= 17 && blob.width() <= 25 && blob.height() >= 17 &&
                blob.height() <= 25 && blob.pixels > 200) {
                handle = blob;
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(e2e::eventually(findHandle)) << "no Boost start handle on the page";
    drag(handle->middleX(), handle->middleY(), handle->middleX() + 16);
    desktop.screenshot(testArtifact("settings-after-drag.png"));
    // Return saves: the page has the keyboard focus.
    desktop.key("Return");
    const fs::path eventLog = root.home() / "Library" / "Logs" / "Ventrella" / "Ventrella.jsonl";
    ASSERT_TRUE(e2e::eventually([&] {
        return readFile(eventLog).find("settings.saved") != std::string::npos;
    })) << application.log();

    platform::foundation::PropertyListUserDefaults defaults(
        root.home() / "Library" / "Preferences" / "com.quillmoor.Ventrella.plist");
    const auto data = defaults.data("guardSettings");
    ASSERT_TRUE(data);
    const core::GuardSettings saved = core::decodeGuardSettings(*data);
    EXPECT_GT(saved.boostEnterCelsius, stored.boostEnterCelsius);
    EXPECT_LT(saved.boostEnterCelsius, saved.emergencyEnterCelsius);
    EXPECT_EQ(saved.boostExitCelsius, stored.boostExitCelsius);
    EXPECT_EQ(saved.emergencyEnterCelsius, stored.emergencyEnterCelsius);
    // The model took the same settings: its event names them.
    const std::string log = readFile(eventLog);
    std::ostringstream boost;
    boost << std::fixed << std::setprecision(1) << "boost=72.0-" << saved.boostEnterCelsius << "C";
    EXPECT_NE(log.find(boost.str()), std::string::npos) << log;
    EXPECT_EQ(application.count("qrc:"), 0) << application.log();

    // The application runs as the root's ordinary user, and what it keeps is that user's.
    const uid_t user = root.user().uid;
    EXPECT_EQ(testsupport::processUserIds(application.process().pid()),
              std::vector<uid_t>(4, user));
    for (const auto& file : {eventLog, defaults.file()}) {
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0) << file;
        EXPECT_EQ(info.st_uid, user) << file;
    }
}

TEST_F(SettingsPageUI, TheGermanPageIsTranslated) {
    const ApplicationRoot root;
    core::GuardSettings stored;
    stored.appLanguage = core::AppLanguage::german;
    root.storeSettings(stored);
    ApplicationProgram application(desktop, root);
    const DisplayWindow page = openSettings(application);
    ASSERT_GT(page.width, 0);
    expectSaveAtTrailingEdge(page, "settings-page-german.png", false);
    EXPECT_EQ(application.count("qrc:"), 0) << application.log();
}

TEST_F(SettingsPageUI, TheArabicPageRunsRightToLeft) {
    // Arabic has no table of its own yet: its direction, with the English texts.
    const ApplicationRoot root(
        {{"ar", readFile(fs::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents" / "Resources" /
                         "en.lproj" / "Localizable.strings")}});
    core::GuardSettings stored;
    stored.appLanguage = core::AppLanguage::arabic;
    root.storeSettings(stored);
    ApplicationProgram application(desktop, root);
    const DisplayWindow page = openSettings(application, true);
    ASSERT_GT(page.width, 0);
    expectSaveAtTrailingEdge(page, "settings-page-arabic.png", true);
    EXPECT_EQ(application.count("qrc:"), 0) << application.log();
}

TEST_F(SettingsPageUI, ExportsTheDiagnosticReportToTheChosenFile) {
    e2e::SimulatedMac mac;
    ASSERT_TRUE(e2e::eventually([&] { return mac.helperProcess().has_value(); }));
    const auto root = ApplicationRoot::existing(mac.root());
    ApplicationProgram application(desktop, root);
    const DisplayWindow page = openSettings(application);
    ASSERT_GT(page.width, 0);
    // Once the helper has answered, the page offers its removal.
    scrollToEnd(page);
    std::optional<Blob> remove;
    ASSERT_TRUE(e2e::eventually([&] {
        return (remove = removeButton(page, "settings-end.png")).has_value();
    })) << application.log();

    // "Diagnostic Report…" stands at the trailing edge of the "Version" row, right above
    // "Check for Updates…". Its own text does not read reliably on its grey button, so it is
    // found from its neighbours: the row's title (its two lines centre on the button) and the
    // next button's first word (inside the wider report button's width).
    std::optional<ScreenWord> version;
    std::optional<ScreenWord> check;
    ASSERT_TRUE(e2e::eventually([&] {
        version.reset();
        check.reset();
        const ScreenText shown =
            ScreenText::read(desktop.screenshot(testArtifact("settings-report.png")), page);
        for (const auto& word : shown.words()) {
            if (word.text == "Version") {
                version = word;
            } else if (word.text == "Check" && word.area.x > page.x + page.width / 2) {
                check = word;
            }
        }
        return version && check;
    })) << application.log();
    desktop.click(check->area.x + check->area.width / 2, version->area.y + version->area.height);
    const auto dialog = desktop.waitForWindow([&]() -> std::optional<DisplayWindow> {
        const auto found = desktop.visibleWindows("Diagnostic Report");
        return found.empty() ? std::nullopt : std::optional(found.front());
    });
    ASSERT_TRUE(dialog) << application.log();
    desktop.screenshot(testArtifact("save-panel.png"));
    // Where the application's user may write.
    const fs::path report = root.home() / "chosen-report.txt";
    desktop.run({"xdotool", "key", "ctrl+a"});
    desktop.run({"xdotool", "type", "--delay", "5", report.string()});
    desktop.key("Return");
    ASSERT_TRUE(e2e::eventually([&] { return fs::exists(report) && fs::file_size(report) > 0; }))
        << application.log();
    EXPECT_NE(readFile(report).find("Ventrella"), std::string::npos);

    // The popover stayed open under the panel.
    EXPECT_TRUE(popover(desktop));
}

TEST_F(SettingsPageUI, TheHelperInstalledFromThePageIsRemovedThroughTheConfirmation) {
    // No helper runs at first: the application registers it from its bundle, as users do. (A
    // helper the machine starts from a property list of its own is no registration of the
    // application's, so removing it from the page leaves that one running.)
    e2e::SimulatedMac mac("apple-silicon", {"--bundle-only", "--codesign", CODESIGN_TOOL});
    const auto root = ApplicationRoot::existing(mac.root());
    ApplicationProgram application(desktop, root);
    const DisplayWindow page = openSettings(application);
    ASSERT_GT(page.width, 0);
    scrollToEnd(page);

    // ---- "Install…" registers the helper, which then answers ----
    std::optional<ScreenWord> install;
    ASSERT_TRUE(e2e::eventually([&] {
        install = trailingWord(page, "Install", "settings-not-installed.png");
        return install.has_value();
    })) << application.log();
    desktop.click(install->area.x + install->area.width / 2,
                  install->area.y + install->area.height / 2);
    ASSERT_TRUE(e2e::eventually([&] { return mac.helperProcess().has_value(); }))
        << application.log();
    EXPECT_EQ(registrationStatus(mac), "enabled");
    // The installation ends with the new helper's answer; until then "Remove…" is disabled.
    const fs::path events = root.home() / "Library" / "Logs" / "Ventrella" / "Ventrella.jsonl";
    ASSERT_TRUE(e2e::eventually([&] {
        const std::string log = readFile(events);
        const auto installed = log.find("helper.install_completed");
        return installed != std::string::npos &&
               log.find("helper.status_succeeded", installed) != std::string::npos;
    })) << readFile(events);

    // ---- "Remove…" asks first; the confirmation removes it ----
    std::optional<Blob> remove;
    ASSERT_TRUE(e2e::eventually([&] {
        return (remove = removeButton(page, "settings-installed.png")).has_value();
    })) << application.log();
    desktop.click(remove->middleX(), remove->middleY());
    std::optional<ScreenWord> confirm;
    ASSERT_TRUE(e2e::eventually([&] {
        const auto shot = desktop.screenshot(testArtifact("removal-confirmation.png"));
        const ScreenText shown = ScreenText::read(shot, page);
        // The confirming button, "Return to Automatic and Remove", at the alert's foot.
        confirm = shown.find("Return");
        return confirm && shown.find("Cancel");
    })) << application.log();
    const pid_t helperBefore = *mac.helperProcess();
    desktop.click(confirm->area.x + confirm->area.width / 2,
                  confirm->area.y + confirm->area.height / 2);

    // The helper is gone from the machine: no process, nothing loaded, nothing registered.
    EXPECT_TRUE(e2e::eventually([&] { return !mac.helperProcess().has_value(); }))
        << application.log();
    // Gone once reaped, too.
    EXPECT_TRUE(e2e::eventually([&] { return ::kill(helperBefore, 0) != 0; }));
    EXPECT_NE(mac.run({(mac.root() / "bin" / "launchctl").string(), "print",
                       "system/com.quillmoor.Ventrella.helper"})
                  .exitCode,
              0);
    EXPECT_EQ(registrationStatus(mac), "notRegistered");
    const fs::path eventLog = root.home() / "Library" / "Logs" / "Ventrella" / "Ventrella.jsonl";
    EXPECT_TRUE(e2e::eventually([&] {
        return readFile(eventLog).find("\"helper.uninstalled\"") != std::string::npos;
    })) << readFile(eventLog);
    // The page offers the installation again.
    EXPECT_TRUE(e2e::eventually(
        [&] { return trailingWord(page, "Install", "settings-removed.png").has_value(); }));

    // ---- The dashboard's helper row asks for the installation ----
    desktop.key("Escape");
    ASSERT_TRUE(waitForPopover(desktop, false));
    const auto icon = trayIcon(desktop);
    ASSERT_TRUE(icon);
    desktop.click(*icon);
    const auto dashboard = waitForPopover(desktop, true);
    ASSERT_TRUE(dashboard && desktop.waitUntilDrawn(*dashboard));
    std::optional<ScreenText> shown;
    EXPECT_TRUE(e2e::eventually([&] {
        const auto shot = desktop.screenshot(testArtifact("dashboard-helper-removed.png"));
        shown = ScreenText::read(shot, *dashboard);
        return shown->find("Install") &&
               shown->text().find("Installation required") != std::string::npos;
    })) << (shown ? shown->text() : std::string());
    EXPECT_EQ(application.count("qrc:"), 0) << application.log();
}

}  // namespace
}  // namespace ventrella::shelluitests
