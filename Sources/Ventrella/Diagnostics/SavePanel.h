#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace ventrella::diagnostics {

// What a save panel shows and allows.
struct SavePanelOptions {
    std::string title;
    std::string proposedFileName;
    // File name extensions the user may save as ("txt" for plain text); empty allows any.
    std::vector<std::string> allowedFileExtensions;
    bool canCreateDirectories = false;

    bool operator==(const SavePanelOptions&) const = default;
};

// Asks the user, modally, where to save a file.
class SavePanel {
  public:
    virtual ~SavePanel() = default;

    // The chosen file, or nothing when the user cancelled.
    virtual std::optional<std::filesystem::path> chooseDestination(
        const SavePanelOptions& options) = 0;
};

}  // namespace ventrella::diagnostics
