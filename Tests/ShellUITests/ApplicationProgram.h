#pragma once

#include <QColor>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Support/ChildProcess.h"
#include "Support/LocalUser.h"
#include "Support/VirtualDesktop.h"
#include "Ventrella/Core/GuardSettings.h"

namespace ventrella::shelluitests {

// A simulated Mac's root with the application installed as the user starts it: the built
// bundle's program, Info.plist and language tables at /Applications/Ventrella.app (root's, as
// the root itself), and the home of the application's ordinary user at /Users/tester (the
// user's), where the application keeps its preferences and logs.
class ApplicationRoot {
  public:
    // A fresh root of its own, removed at the end; `tables` adds language tables to the bundle
    // ("ar" → the table's text).
    explicit ApplicationRoot(const std::map<std::string, std::string>& tables = {});
    // A root someone else made and keeps (a simulated Mac with the application installed); the
    // built bundle's language tables are added to the installed bundle.
    static ApplicationRoot existing(const std::filesystem::path& root);
    ~ApplicationRoot();

    ApplicationRoot(ApplicationRoot&&) noexcept;
    ApplicationRoot(const ApplicationRoot&) = delete;
    ApplicationRoot& operator=(const ApplicationRoot&) = delete;

    const std::filesystem::path& path() const { return root_; }
    std::filesystem::path program() const;
    std::filesystem::path home() const;
    // The user's private runtime folder (XDG_RUNTIME_DIR), in the home.
    std::filesystem::path runtime() const;
    const testsupport::LocalUser& user() const { return user_; }

    // Stores the settings in the user's preferences, as the application saves them.
    void storeSettings(const core::GuardSettings& settings) const;

  private:
    ApplicationRoot(std::filesystem::path root, bool owned);
    void makeHome() const;

    std::filesystem::path root_;
    bool owned_ = false;
    testsupport::LocalUser user_ = testsupport::LocalUser::application();
};

// The application running on a virtual desktop against a root, as the root's ordinary user;
// its standard output and error (which carries its log) are kept among the test's artefacts.
class ApplicationProgram {
  public:
    // `environment`: changes on top of the desktop's and the root's.
    ApplicationProgram(const testsupport::VirtualDesktop& desktop, const ApplicationRoot& root,
                       const std::string& name = "ventrella",
                       const std::map<std::string, std::optional<std::string>>& environment = {});

    testsupport::ChildProcess& process() { return *process_; }

    // What the program wrote so far: its log and anything else.
    std::string log() const;
    // How often a log line holds `text`.
    int count(const std::string& text) const;
    // Waits until `text` was logged `times` times; false when it was not within `seconds`.
    bool waitFor(const std::string& text, int times = 1,
                 double seconds = testsupport::eventDeadlineSeconds) const;

  private:
    std::filesystem::path output_;
    std::unique_ptr<testsupport::ChildProcess> process_;
};

// The application's icon in the tray: its window within the panel.
std::optional<testsupport::DisplayWindow> trayIcon(const testsupport::VirtualDesktop& desktop);
// The popover's window, when it is shown.
std::optional<testsupport::DisplayWindow> popover(const testsupport::VirtualDesktop& desktop);

// Waits for the icon to appear.
std::optional<testsupport::DisplayWindow> waitForIcon(const testsupport::VirtualDesktop& desktop);
// Waits until the popover is `shown` or not; when it is, gives its window, and otherwise an
// empty window once it is gone.
std::optional<testsupport::DisplayWindow> waitForPopover(const testsupport::VirtualDesktop& desktop,
                                                         bool shown);

// How many pixels of a rectangle of a screenshot are near `color`.
int pixelsNear(const std::filesystem::path& screenshot, const testsupport::DisplayWindow& area,
               const QColor& color);

}  // namespace ventrella::shelluitests
