#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Foundation/BoundedPropertyList.h"
#include "Platform/Foundation/UserDefaults.h"

namespace platform::foundation {

// User defaults kept in a property list file, as "~/Library/Preferences/<domain>.plist".
//
// The file is read once, on construction, and its dictionary held in memory; every write
// replaces the file atomically (binary form) with that dictionary plus the change, and only
// then takes the change in memory. So one object should serve a domain within a process.
// A missing, unreadable, oversized or malformed file, or one whose root is not a dictionary,
// reads as empty (and is replaced by the next write). Thread-safe.
class PropertyListUserDefaults final : public UserDefaults {
  public:
    // "<home>/Library/Preferences/<domain>.plist". Throws std::invalid_argument for a domain
    // that is not a plain file name, std::runtime_error when the home is unknown.
    static std::filesystem::path preferencesFile(std::string_view domain);

    explicit PropertyListUserDefaults(std::filesystem::path file);

    const std::filesystem::path& file() const { return file_; }

    std::optional<std::string> data(std::string_view key) const override;
    // Creates the file's folder when it is missing. Throws UserDefaultsError.
    void setData(std::string_view key, std::string_view bytes) override;

  private:
    std::filesystem::path file_;
    mutable std::mutex mutex_;
    PropertyListPtr dictionary_;
};

}  // namespace platform::foundation
