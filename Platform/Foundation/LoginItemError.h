#pragma once

#include <exception>
#include <string>
#include <utility>

namespace platform::foundation {

// A login item that could not be read, registered or unregistered, with an English
// description for the user.
class LoginItemError : public std::exception {
  public:
    enum class Kind { statusUnavailable, registrationFailed, unregistrationFailed };

    // `reason`: what went wrong, a sentence fragment ("Permission denied").
    static LoginItemError statusUnavailable(const std::string& reason);
    static LoginItemError registrationFailed(const std::string& reason);
    static LoginItemError unregistrationFailed(const std::string& reason);

    Kind kind() const { return kind_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const LoginItemError& other) const {
        return kind_ == other.kind_ && description_ == other.description_;
    }

  private:
    LoginItemError(Kind kind, std::string description)
        : kind_(kind), description_(std::move(description)) {}

    Kind kind_;
    std::string description_;
};

}  // namespace platform::foundation
