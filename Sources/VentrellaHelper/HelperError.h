#pragma once

#include <exception>
#include <string>
#include <utility>

namespace ventrella::helper {

// Every failure of the helper's own making. The message is the description, unchanged, and it
// travels to the application as a reply's error message.
class HelperError : public std::exception {
  public:
    explicit HelperError(std::string message) : message_(std::move(message)) {}

    const std::string& message() const { return message_; }
    const std::string& description() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    bool operator==(const HelperError& other) const { return message_ == other.message_; }

  private:
    std::string message_;
};

}  // namespace ventrella::helper
