#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include "Ventrella/Diagnostics/SavePanel.h"

namespace ventrella::shell {

// The save panel as a Qt file dialog of its own (not the desktop's), run modally on the GUI
// thread. While it runs, `modalRunning` is told so (true before, false after, also when the
// dialog fails), so that the popover under it stays open and is not rebuilt.
class QtSavePanel final : public diagnostics::SavePanel {
  public:
    // `startDirectory` is where the dialog opens (default: the user's home).
    explicit QtSavePanel(std::function<void(bool running)> modalRunning,
                         std::optional<std::filesystem::path> startDirectory = std::nullopt);

    std::optional<std::filesystem::path> chooseDestination(
        const diagnostics::SavePanelOptions& options) override;

  private:
    std::function<void(bool)> modalRunning_;
    std::optional<std::filesystem::path> startDirectory_;
};

}  // namespace ventrella::shell
