#include "Platform/Foundation/LoginItemError.h"

namespace platform::foundation {

LoginItemError LoginItemError::statusUnavailable(const std::string& reason) {
    return LoginItemError(Kind::statusUnavailable,
                          "The login item's state could not be read: " + reason + ".");
}

LoginItemError LoginItemError::registrationFailed(const std::string& reason) {
    return LoginItemError(Kind::registrationFailed,
                          "The login item could not be registered: " + reason + ".");
}

LoginItemError LoginItemError::unregistrationFailed(const std::string& reason) {
    return LoginItemError(Kind::unregistrationFailed,
                          "The login item could not be removed: " + reason + ".");
}

}  // namespace platform::foundation
