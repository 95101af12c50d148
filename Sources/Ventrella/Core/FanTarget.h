#pragma once

#include <cstdint>
#include <optional>

namespace ventrella::core {

// What a cooling level asks of the fans: a cooling percentage, or their maximum.
class FanTarget {
  public:
    enum class Kind { percentage, maximum };

    static FanTarget percentage(std::int64_t value) { return {Kind::percentage, value}; }
    static FanTarget maximum() { return {Kind::maximum, 0}; }

    Kind kind() const { return kind_; }
    // The carried percentage; absent for `maximum`.
    std::optional<std::int64_t> percentageValue() const {
        return kind_ == Kind::percentage ? std::optional(percentage_) : std::nullopt;
    }

    bool operator==(const FanTarget&) const = default;

  private:
    FanTarget(Kind kind, std::int64_t percentage) : kind_(kind), percentage_(percentage) {}

    Kind kind_;
    std::int64_t percentage_;
};

}  // namespace ventrella::core
