#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Support/ChildProcess.h"
#include "Support/VirtualDesktop.h"

namespace ventrella::shelluitests {

// ventrella-shell-demo running on a virtual desktop; what it prints is kept among the test's
// artefacts.
class DemoProgram {
  public:
    DemoProgram(const testsupport::VirtualDesktop& desktop, std::vector<std::string> arguments,
                const std::string& name = "demo");

    testsupport::ChildProcess& process() { return *process_; }

    // The lines printed so far on standard output, and standard error's text.
    std::vector<std::string> lines() const;
    std::string errors() const;

    // Waits until a line starting with `prefix` has been printed `count` times; its last text.
    std::string waitForLine(const std::string& prefix, int count = 1, double seconds = 5.0) const;
    int countLines(const std::string& prefix) const;

  private:
    std::filesystem::path output_;
    std::filesystem::path errors_;
    std::unique_ptr<testsupport::ChildProcess> process_;
};

// The demo's icon in the tray: its window within the panel.
std::optional<testsupport::DisplayWindow> trayIcon(const testsupport::VirtualDesktop& desktop);
// The popover's window, when it is shown.
std::optional<testsupport::DisplayWindow> popover(const testsupport::VirtualDesktop& desktop);

}  // namespace ventrella::shelluitests
