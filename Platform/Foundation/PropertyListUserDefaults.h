#pragma once

#include <filesystem>
#include <functional>
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
// A missing file reads as empty. A file that cannot be read (not a regular file, oversized,
// malformed, or its root not a dictionary) reads as empty too, and is never destroyed: the
// first write moves it aside, as "<name>.unreadable" or, when earlier ones are kept there,
// "<name>.unreadable.1" up to ".9", and tells the handler given at construction. Thread-safe.
class PropertyListUserDefaults final : public UserDefaults {
  public:
    // A file that could not be read, moved aside.
    struct SetAside {
        std::string reason;  // why it could not be read, in English
        std::filesystem::path keptAs;

        bool operator==(const SetAside&) const = default;
    };
    // Called once the file is moved, on the writing thread, with no lock of this object held.
    using SetAsideHandler = std::function<void(const SetAside&)>;

    // How many unreadable files are kept beside the preferences at most.
    static constexpr int maximumSetAside = 10;

    // "<home>/Library/Preferences/<domain>.plist". Throws std::invalid_argument for a domain
    // that is not a plain file name, std::runtime_error when the home is unknown.
    static std::filesystem::path preferencesFile(std::string_view domain);

    explicit PropertyListUserDefaults(std::filesystem::path file,
                                      SetAsideHandler onSetAside = nullptr);

    const std::filesystem::path& file() const { return file_; }

    std::optional<std::string> data(std::string_view key) const override;
    // Creates the file's folder when it is missing. Throws UserDefaultsError, also when an
    // unreadable file cannot be moved aside (it then stays as it is).
    void setData(std::string_view key, std::string_view bytes) override;

  private:
    // Under the lock: the write, after moving an unreadable file aside into `setAside`.
    void write(std::string_view key, std::string_view bytes, std::optional<SetAside>& setAside);
    // Moves the unreadable file aside; nothing when it is gone meanwhile.
    std::optional<SetAside> setAsideUnreadable() const;

    std::filesystem::path file_;
    SetAsideHandler onSetAside_;
    mutable std::mutex mutex_;
    PropertyListPtr dictionary_;
    // Why the file could not be read, until it is moved aside.
    std::optional<std::string> unreadable_;
};

}  // namespace platform::foundation
