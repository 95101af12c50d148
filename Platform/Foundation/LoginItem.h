#pragma once

namespace platform::foundation {

enum class LoginItemStatus {
    notRegistered,  // the application does not start at login
    enabled,        // the application starts at login
};

// The running application's own login item: whether it starts when the user logs in.
class LoginItem {
  public:
    virtual ~LoginItem() = default;

    // Throws LoginItemError when the item's state cannot be read.
    virtual LoginItemStatus status() const = 0;
    // Makes the application start at login. Throws LoginItemError.
    virtual void registerItem() = 0;
    // Makes it no longer start at login. Throws LoginItemError.
    virtual void unregisterItem() = 0;
};

}  // namespace platform::foundation
