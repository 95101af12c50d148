#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Support/ChildProcess.h"
#include "Support/Eventually.h"

namespace ventrella::testsupport {

// A window on the virtual display, in screen coordinates.
struct DisplayWindow {
    std::string id;  // "0x40000c"
    std::string name;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;

    bool contains(int pointX, int pointY) const {
        return pointX >= x && pointX < x + width && pointY >= y && pointY < y + height;
    }
};

// A desktop of its own for one interface test: an X server (Xvfb, on the first free display, so
// that tests run side by side), a system tray at the top of the screen like a menu bar (tint2,
// with no window manager: the number of desktops tint2 waits for is set on the root window) and a
// private XDG_RUNTIME_DIR. Programs started with `environment()` show their windows on it;
// xdotool clicks and types on it; screenshots of the whole screen are PNG files. Everything it
// started ends with it.
class VirtualDesktop {
  public:
    static constexpr int width = 1280;
    static constexpr int height = 800;
    static constexpr int panelHeight = 28;

    // Starts the display and, with `trayHost`, the tray. Throws std::runtime_error when either
    // does not come up in time.
    explicit VirtualDesktop(bool trayHost = true);
    ~VirtualDesktop();

    VirtualDesktop(const VirtualDesktop&) = delete;
    VirtualDesktop& operator=(const VirtualDesktop&) = delete;

    // ":3"
    const std::string& display() const { return display_; }

    // This process's environment for a program on this desktop: DISPLAY, XDG_RUNTIME_DIR, Qt's
    // xcb platform, no Wayland or D-Bus session, no leak checking under AddressSanitizer;
    // `changes` on top.
    std::vector<std::string> environment(
        const std::map<std::string, std::optional<std::string>>& changes = {}) const;

    void startTrayHost();
    void stopTrayHost();
    bool hasTrayHost() const { return trayHost_ != nullptr; }

    // Runs a command (xdotool, xprop, …) on this display.
    CommandResult run(const std::vector<std::string>& arguments) const;

    // The viewable windows whose name matches the regular expression `name`, or whose class
    // does with `byClass`.
    std::vector<DisplayWindow> visibleWindows(const std::string& name, bool byClass = false) const;

    // Polls `find` every 50 ms until it gives a window, for at most `seconds`.
    std::optional<DisplayWindow> waitForWindow(
        const std::function<std::optional<DisplayWindow>()>& find,
        double seconds = eventDeadlineSeconds) const;

    // Clicks at a point: moves the pointer, waits 0.1 s, clicks (xdotool's synchronous move can
    // stall for seconds when the pointer is already there).
    void click(int x, int y, int button = 1) const;
    void click(const DisplayWindow& window, int button = 1) const;

    // Presses and releases a key in the window that has the focus ("Escape", "Return").
    void key(const std::string& name) const;

    // Waits until the window shows more than a few colours (a window is mapped before it is
    // drawn), for at most `seconds`; false when it never did.
    bool waitUntilDrawn(const DisplayWindow& window, double seconds = eventDeadlineSeconds) const;

    // Waits until two pictures of the window taken 0.15 s apart are the same (an animation has
    // ended), for at most `seconds`; false when it never stood still.
    bool waitUntilStill(const DisplayWindow& window, double seconds = eventDeadlineSeconds) const;

    // Saves the whole screen as a PNG file; its path.
    std::filesystem::path screenshot(const std::filesystem::path& file) const;

  private:
    void stopAll();

    std::filesystem::path folder_;
    std::string display_;
    std::unique_ptr<ChildProcess> server_;
    std::unique_ptr<ChildProcess> trayHost_;
};

// Where a test keeps its artefacts (screenshots, logs): a folder of its own under
// `<build>/test-artifacts/<suite>.<test>/`, made on first use. The path of `file` in it.
std::filesystem::path testArtifact(const std::string& file);

}  // namespace ventrella::testsupport
