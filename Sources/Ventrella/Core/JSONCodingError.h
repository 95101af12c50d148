#pragma once

#include <exception>
#include <string>

namespace ventrella::core {

// A JSON document that does not decode into the record asked for.
class JSONDecodingError : public std::exception {
  public:
    explicit JSONDecodingError(std::string detail) : detail_(std::move(detail)) {}
    const char* what() const noexcept override { return detail_.c_str(); }
    bool operator==(const JSONDecodingError& other) const { return detail_ == other.detail_; }

  private:
    std::string detail_;
};

// A record that JSON cannot carry (a number that is NaN or infinite).
class JSONEncodingError : public std::exception {
  public:
    explicit JSONEncodingError(std::string detail) : detail_(std::move(detail)) {}
    const char* what() const noexcept override { return detail_.c_str(); }
    bool operator==(const JSONEncodingError& other) const { return detail_ == other.detail_; }

  private:
    std::string detail_;
};

}  // namespace ventrella::core
