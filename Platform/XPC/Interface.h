#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace platform::xpc {

// One method of an interface: its selector and how many 64-bit integer
// arguments come before the reply block (every method ends with one).
struct MethodSignature {
    std::string selector;
    std::size_t argumentCount = 0;
    friend bool operator==(const MethodSignature&, const MethodSignature&) = default;
};

// The methods a connection exports or expects of its peer. A request for a
// method not listed here, or with another argument count, is a protocol
// violation.
class Interface {
  public:
    Interface() = default;
    Interface(std::initializer_list<MethodSignature> methods) : methods_(methods) {}

    bool accepts(std::string_view selector, std::size_t argumentCount) const {
        for (const auto& method : methods_) {
            if (method.selector == selector && method.argumentCount == argumentCount) {
                return true;
            }
        }
        return false;
    }

    const std::vector<MethodSignature>& methods() const { return methods_; }

  private:
    std::vector<MethodSignature> methods_;
};

}  // namespace platform::xpc
