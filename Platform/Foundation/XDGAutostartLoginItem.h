#pragma once

#include <filesystem>
#include <string>

#include "Platform/Foundation/LoginItem.h"

namespace platform::foundation {

// The application's login item as an XDG autostart entry: "<directory>/<identifier>.desktop",
// which desktop sessions start at login.
//
// The item counts as enabled only when the entry starts this executable and is neither
// hidden ("Hidden=true") nor switched off ("X-GNOME-Autostart-enabled=false"); an entry left
// by a copy of the application elsewhere counts as not registered and is replaced by the next
// registration.
class XDGAutostartLoginItem final : public LoginItem {
  public:
    // "$XDG_CONFIG_HOME/autostart", or "~/.config/autostart" when that is unset or not an
    // absolute path. Throws std::runtime_error when the home is unknown.
    static std::filesystem::path defaultDirectory();

    // `identifier` names the entry file (a plain file name such as the bundle identifier),
    // `name` is the name sessions show, `executable` the absolute path the entry starts.
    // Throws std::invalid_argument for an identifier that is not a plain file name or a
    // relative executable.
    XDGAutostartLoginItem(std::string identifier, std::string name,
                          std::filesystem::path executable,
                          std::filesystem::path directory = defaultDirectory());

    std::filesystem::path entryFile() const;

    LoginItemStatus status() const override;
    // Writes the entry atomically, creating the folder when it is missing.
    void registerItem() override;
    // Removes the entry; an entry that is already gone is no failure.
    void unregisterItem() override;

  private:
    std::string execValue() const;

    std::string identifier_;
    std::string name_;
    std::filesystem::path executable_;
    std::filesystem::path directory_;
};

}  // namespace platform::foundation
