#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::foundation {

// The user's preferences of one domain: values stored under keys, kept across launches.
class UserDefaults {
  public:
    virtual ~UserDefaults() = default;

    // The bytes stored under the key as data; nothing when the key is absent or holds a value
    // of another type.
    virtual std::optional<std::string> data(std::string_view key) const = 0;

    // Stores the bytes under the key as data. Throws UserDefaultsError when they cannot be
    // kept; the previous value then stays, in memory and on disk.
    virtual void setData(std::string_view key, std::string_view bytes) = 0;
};

}  // namespace platform::foundation
