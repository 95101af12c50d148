#include "Support/VirtualDesktop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace ventrella::testsupport {

namespace fs = std::filesystem;

namespace {

constexpr const char* tint2Configuration = R"(# A menu bar: a dark 28-pixel panel at the top.
# Background 1: the panel's.
rounded = 0
border_width = 0
background_color = #1f2023 100
border_color = #000000 0

panel_items = TS
panel_position = top center horizontal
panel_size = 100% 28
panel_layer = top
panel_background_id = 1
panel_padding = 8 0 8
disable_transparency = 1
taskbar_background_id = 0
task_text = 0
task_icon = 0
systray_padding = 6 3 8
systray_background_id = 0
systray_icon_size = 22
systray_sort = left2right
)";

// The display number Xvfb writes on the descriptor it was given, then a line feed.
std::string readDisplayNumber(int descriptor, double seconds) {
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd waiting{descriptor, POLLIN, 0};
        if (::poll(&waiting, 1, 50) <= 0) {
            continue;
        }
        char c = 0;
        if (::read(descriptor, &c, 1) != 1) {
            break;
        }
        if (c == '\n') {
            return number;
        }
        number += c;
    }
    return {};
}

}  // namespace

VirtualDesktop::VirtualDesktop(bool trayHost) {
    std::string pattern = (fs::temp_directory_path() / "ventrella-desktop-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create the desktop's folder");
    }
    folder_ = pattern;
    fs::create_directories(folder_ / "runtime");
    fs::permissions(folder_ / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    std::ofstream(folder_ / "tint2rc") << tint2Configuration;

    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe");
    }
    try {
        ChildProcess::Options server;
        server.arguments = {
            "Xvfb",      "-displayfd", "3",
            "-screen",   "0",          std::to_string(width) + "x" + std::to_string(height) + "x24",
            "-nolisten", "tcp",        "-noreset"};
        server.errors = folder_ / "xvfb.log";
        server.descriptors = {{pipe[1], 3}};
        server_ = std::make_unique<ChildProcess>(std::move(server));
    } catch (...) {
        ::close(pipe[0]);
        ::close(pipe[1]);
        throw;
    }
    ::close(pipe[1]);
    const std::string number = readDisplayNumber(pipe[0], eventDeadlineSeconds);
    ::close(pipe[0]);
    if (number.empty()) {
        stopAll();
        throw std::runtime_error("Xvfb did not start");
    }
    display_ = ":" + number;
    // Without a window manager tint2 waits for the number of desktops; -noreset keeps it set.
    run({"xprop", "-root", "-f", "_NET_NUMBER_OF_DESKTOPS", "32c", "-set",
         "_NET_NUMBER_OF_DESKTOPS", "1"});
    if (trayHost) {
        startTrayHost();
    }
}

VirtualDesktop::~VirtualDesktop() {
    stopAll();
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

void VirtualDesktop::stopAll() {
    trayHost_.reset();
    server_.reset();
}

std::vector<std::string> VirtualDesktop::environment(
    const std::map<std::string, std::optional<std::string>>& changes) const {
    std::map<std::string, std::optional<std::string>> all = {
        {"DISPLAY", display_},
        {"XDG_RUNTIME_DIR", (folder_ / "runtime").string()},
        {"QT_QPA_PLATFORM", "xcb"},
        {"WAYLAND_DISPLAY", std::nullopt},
        {"DBUS_SESSION_BUS_ADDRESS", std::nullopt},
        {"XAUTHORITY", std::nullopt},
    };
    // Under AddressSanitizer the programs run without leak checking: the X11, GL, font and
    // D-Bus libraries Qt loads keep memory to the end of the process, some of them from
    // libraries unloaded by then. Our own code's leaks are checked by the offscreen suites.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    all["ASAN_OPTIONS"] =
        std::string(sanitizer != nullptr && *sanitizer != '\0' ? std::string(sanitizer) + ":"
                                                               : "") +
        "detect_leaks=0";
    for (const auto& [name, value] : changes) {
        all[name] = value;
    }
    return environmentWith(all);
}

void VirtualDesktop::startTrayHost() {
    if (trayHost_) {
        return;
    }
    ChildProcess::Options tint2;
    tint2.arguments = {"tint2", "-c", (folder_ / "tint2rc").string()};
    tint2.environment = environment();
    tint2.output = folder_ / "tint2.log";
    tint2.errors = folder_ / "tint2-errors.log";
    trayHost_ = std::make_unique<ChildProcess>(std::move(tint2));
    const auto panel = waitForWindow([this]() -> std::optional<DisplayWindow> {
        const auto windows = visibleWindows("^tint2$");
        if (windows.empty()) {
            return std::nullopt;
        }
        return windows.front();
    });
    if (!panel) {
        throw std::runtime_error("tint2 did not show its panel");
    }
}

void VirtualDesktop::stopTrayHost() {
    trayHost_.reset();
}

CommandResult VirtualDesktop::run(const std::vector<std::string>& arguments) const {
    return runCommand(arguments, environment());
}

std::vector<DisplayWindow> VirtualDesktop::visibleWindows(const std::string& name,
                                                          bool byClass) const {
    const auto found =
        run({"xdotool", "search", "--onlyvisible", byClass ? "--class" : "--name", name});
    std::vector<DisplayWindow> windows;
    std::istringstream ids(found.output);
    std::string decimal;
    static const std::regex absoluteX(R"(Absolute upper-left X:\s+(-?\d+))");
    static const std::regex absoluteY(R"(Absolute upper-left Y:\s+(-?\d+))");
    static const std::regex widthLine(R"(\n\s*Width:\s+(\d+))");
    static const std::regex heightLine(R"(\n\s*Height:\s+(\d+))");
    static const std::regex viewable(R"(Map State:\s+IsViewable)");
    static const std::regex title(
        R"re(xwininfo: Window id: (0x[0-9a-f]+) (?:"(.*)"|\(has no name\)))re");
    while (ids >> decimal) {
        const auto info = run({"xwininfo", "-id", decimal});
        std::smatch match;
        DisplayWindow window;
        if (info.status != 0 || !std::regex_search(info.output, viewable)) {
            continue;
        }
        if (std::regex_search(info.output, match, title)) {
            window.id = match[1];
            window.name = match[2];
        }
        if (std::regex_search(info.output, match, absoluteX))
            window.x = std::stoi(match[1]);
        if (std::regex_search(info.output, match, absoluteY))
            window.y = std::stoi(match[1]);
        if (std::regex_search(info.output, match, widthLine))
            window.width = std::stoi(match[1]);
        if (std::regex_search(info.output, match, heightLine))
            window.height = std::stoi(match[1]);
        windows.push_back(window);
    }
    return windows;
}

std::optional<DisplayWindow> VirtualDesktop::waitForWindow(
    const std::function<std::optional<DisplayWindow>()>& find, double seconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (auto window = find()) {
            return window;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

void VirtualDesktop::click(int x, int y, int button) const {
    run({"xdotool", "mousemove", std::to_string(x), std::to_string(y)});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    run({"xdotool", "click", std::to_string(button)});
}

void VirtualDesktop::click(const DisplayWindow& window, int button) const {
    // From the edges: the middle of an even width lies between two pixels.
    click(window.x + window.width / 2, window.y + window.height / 2, button);
}

void VirtualDesktop::key(const std::string& name) const {
    // Not with --window: that can leave the key held down.
    run({"xdotool", "key", name});
}

bool VirtualDesktop::waitUntilDrawn(const DisplayWindow& window, double seconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        // The number of colours in the window: one while nothing has been drawn.
        const auto colours = run({"import", "-window", window.id, "-format", "%k", "info:"});
        if (colours.status == 0 && std::atoi(colours.output.c_str()) > 4) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool VirtualDesktop::waitUntilStill(const DisplayWindow& window, double seconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::string previous;
    for (;;) {
        // A digest of the window's pixels.
        const auto picture = run({"import", "-window", window.id, "-format", "%#", "info:"});
        if (picture.status == 0 && !picture.output.empty() && picture.output == previous) {
            return true;
        }
        previous = picture.status == 0 ? picture.output : std::string();
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
}

fs::path VirtualDesktop::screenshot(const fs::path& file) const {
    fs::create_directories(file.parent_path());
    const auto taken = run({"import", "-window", "root", file.string()});
    if (taken.status != 0) {
        throw std::runtime_error("screenshot failed: " + taken.errors);
    }
    return file;
}

fs::path testArtifact(const std::string& file) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string folder = test != nullptr
                                   ? std::string(test->test_suite_name()) + "." + test->name()
                                   : "outside-tests";
    const fs::path path = fs::path(VENTRELLA_TEST_ARTIFACTS_DIR) / folder;
    fs::create_directories(path);
    return path / file;
}

}  // namespace ventrella::testsupport
