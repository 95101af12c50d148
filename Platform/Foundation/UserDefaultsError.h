#pragma once

#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>

namespace platform::foundation {

// A value of the user defaults that could not be stored, with an English description for the
// user.
class UserDefaultsError : public std::exception {
  public:
    enum class Kind {
        writeFailed,  // the preferences file could not be replaced
        tooLarge,     // the preferences would grow beyond what is read back
        invalidKey,   // a key with a zero byte
    };

    static UserDefaultsError writeFailed(const std::filesystem::path& file, std::error_code reason);
    static UserDefaultsError tooLarge(const std::filesystem::path& file);
    static UserDefaultsError invalidKey();

    Kind kind() const { return kind_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const UserDefaultsError& other) const {
        return kind_ == other.kind_ && description_ == other.description_;
    }

  private:
    UserDefaultsError(Kind kind, std::string description)
        : kind_(kind), description_(std::move(description)) {}

    Kind kind_;
    std::string description_;
};

}  // namespace platform::foundation
