#include "ApplicationProgram.h"

#include <QImage>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "Platform/Foundation/PropertyListUserDefaults.h"
#include "Support/FileContents.h"
#include "Ventrella/Core/GuardSettingsJSON.h"

namespace ventrella::shelluitests {

namespace fs = std::filesystem;

namespace {

constexpr const char* bundleInRoot = "Applications/Ventrella.app";

using testsupport::readFile;

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

}  // namespace

ApplicationRoot::ApplicationRoot(const std::map<std::string, std::string>& tables) {
    // Short, so that the sockets' paths under it fit.
    std::string pattern = "/tmp/vu-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a root folder");
    }
    root_ = pattern;
    owned_ = true;
    // Root's and open to every user, as a Mac's root (mkdtemp makes it 0700).
    fs::permissions(root_, fs::perms(0755));
    const fs::path built(VENTRELLA_APP_BUNDLE_DIR);
    const fs::path bundle = root_ / bundleInRoot;
    fs::create_directories(bundle / "Contents" / "MacOS");
    fs::copy_file(built / "Contents" / "Info.plist", bundle / "Contents" / "Info.plist");
    fs::copy_file(built / "Contents" / "MacOS" / "Ventrella", program());
    fs::copy(built / "Contents" / "Resources", bundle / "Contents" / "Resources",
             fs::copy_options::recursive);
    for (const auto& [language, text] : tables) {
        write(bundle / "Contents" / "Resources" / (language + ".lproj") / "Localizable.strings",
              text);
    }
    makeHome();
}

ApplicationRoot::ApplicationRoot(fs::path root, bool owned)
    : root_(std::move(root)), owned_(owned) {
    makeHome();
}

void ApplicationRoot::makeHome() const {
    fs::create_directories(runtime());
    fs::permissions(home(), fs::perms::owner_all);
    fs::permissions(runtime(), fs::perms::owner_all);
    user_.handOver(home());
}

ApplicationRoot ApplicationRoot::existing(const fs::path& root) {
    const fs::path resources = root / bundleInRoot / "Contents" / "Resources";
    fs::copy(fs::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents" / "Resources", resources,
             fs::copy_options::recursive | fs::copy_options::skip_existing);
    return ApplicationRoot(root, false);
}

ApplicationRoot::ApplicationRoot(ApplicationRoot&& other) noexcept
    : root_(std::move(other.root_)), owned_(other.owned_), user_(std::move(other.user_)) {
    other.owned_ = false;
}

ApplicationRoot::~ApplicationRoot() {
    if (owned_) {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
}

fs::path ApplicationRoot::program() const {
    return root_ / bundleInRoot / "Contents" / "MacOS" / "Ventrella";
}

fs::path ApplicationRoot::home() const {
    return root_ / "Users" / "tester";
}

fs::path ApplicationRoot::runtime() const {
    return home() / ".runtime";
}

void ApplicationRoot::storeSettings(const core::GuardSettings& settings) const {
    platform::foundation::PropertyListUserDefaults defaults(home() / "Library" / "Preferences" /
                                                            "com.quillmoor.Ventrella.plist");
    defaults.setData("guardSettings", core::encodeGuardSettings(settings));
    user_.handOver(home());
}

ApplicationProgram::ApplicationProgram(
    const testsupport::VirtualDesktop& desktop, const ApplicationRoot& root,
    const std::string& name, const std::map<std::string, std::optional<std::string>>& environment)
    : output_(testsupport::testArtifact(name + ".log")) {
    testsupport::ChildProcess::Options options;
    options.arguments = root.user().launcher();
    options.arguments.push_back(root.program().string());
    std::map<std::string, std::optional<std::string>> changes = {
        {"VIRTUAL_MAC_ROOT", root.path().string()},
        {"HOME", root.home().string()},
        {"XDG_RUNTIME_DIR", root.runtime().string()},
        {"XDG_CONFIG_HOME", std::nullopt},
        {"LANGUAGE", "en"},
        {"LANG", "en_US.UTF-8"},
        {"LC_ALL", std::nullopt},
    };
    for (const auto& [variable, value] : environment) {
        changes.insert_or_assign(variable, value);
    }
    options.environment = desktop.environment(changes);
    options.output = output_;
    options.errors = output_.string() + ".err";
    process_ = std::make_unique<testsupport::ChildProcess>(std::move(options));
}

std::string ApplicationProgram::log() const {
    return readFile(output_) + readFile(output_.string() + ".err");
}

int ApplicationProgram::count(const std::string& text) const {
    const std::string all = log();
    int found = 0;
    for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
        ++found;
    }
    return found;
}

bool ApplicationProgram::waitFor(const std::string& text, int times, double seconds) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (count(text) < times) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::optional<testsupport::DisplayWindow> trayIcon(const testsupport::VirtualDesktop& desktop) {
    for (const auto& window : desktop.visibleWindows("^Ventrella$", true)) {
        if (window.y < testsupport::VirtualDesktop::panelHeight && window.width <= 32) {
            return window;
        }
    }
    return std::nullopt;
}

std::optional<testsupport::DisplayWindow> popover(const testsupport::VirtualDesktop& desktop) {
    for (const auto& window : desktop.visibleWindows("^Ventrella$")) {
        if (window.width >= 300) {
            return window;
        }
    }
    return std::nullopt;
}

std::optional<testsupport::DisplayWindow> waitForIcon(const testsupport::VirtualDesktop& desktop) {
    return desktop.waitForWindow([&] { return trayIcon(desktop); });
}

std::optional<testsupport::DisplayWindow> waitForPopover(const testsupport::VirtualDesktop& desktop,
                                                         bool shown) {
    return desktop.waitForWindow([&]() -> std::optional<testsupport::DisplayWindow> {
        auto window = popover(desktop);
        if (shown) {
            return window;
        }
        return window ? std::nullopt
                      : std::optional<testsupport::DisplayWindow>(testsupport::DisplayWindow{});
    });
}

int pixelsNear(const std::filesystem::path& screenshot, const testsupport::DisplayWindow& area,
               const QColor& color) {
    const QImage image(QString::fromStdString(screenshot.string()));
    int count = 0;
    for (int y = area.y; y < area.y + area.height; ++y) {
        for (int x = area.x; x < area.x + area.width; ++x) {
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

}  // namespace ventrella::shelluitests
