#pragma once

#include <string>
#include <string_view>

namespace ventrella::applog {

// How one interpolated value appears in a log line.
class AppLogPrivacy {
  public:
    enum class Mask { hash };

    static AppLogPrivacy publicly() { return AppLogPrivacy(Kind::publicValue); }
    static AppLogPrivacy privately() { return AppLogPrivacy(Kind::privateValue); }
    static AppLogPrivacy privately(Mask) { return AppLogPrivacy(Kind::privateHash); }

    // public: the value; private: "<private>"; private hash: "<private:" + the first four
    // bytes of the value's SHA-256 as hex + ">", so equal values can be matched in a log
    // without revealing them.
    std::string render(std::string_view value) const;

    bool operator==(const AppLogPrivacy&) const = default;

  private:
    enum class Kind { publicValue, privateValue, privateHash };
    explicit AppLogPrivacy(Kind kind) : kind_(kind) {}
    Kind kind_;
};

// Lowercase hex of bytes, "%02x" each.
std::string lowercaseHex(const unsigned char* bytes, std::size_t count);

}  // namespace ventrella::applog
