#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace platform::foundation {

// The kind of value a printf-style placeholder takes: "%d", "%ld", "%lld" an integer, "%f" and
// "%.Nf" a number, "%@" a text.
enum class FormatArgumentKind { integer, number, text };

// One argument of a printf-style format, carrying its kind so that a format can be checked against
// its arguments before anything is written.
class FormatArgument {
  public:
    template <std::integral Integer>
    requires(!std::same_as<Integer, bool> && !std::same_as<Integer, char>)
        FormatArgument(Integer value)
        : value_(clamped(value)) {}

    template <std::floating_point Number>
    FormatArgument(Number value) : value_(static_cast<double>(value)) {}

    FormatArgument(std::string value) : value_(std::move(value)) {}
    FormatArgument(std::string_view value) : value_(std::string(value)) {}
    FormatArgument(const char* value) : value_(std::string(value)) {}

    FormatArgumentKind kind() const { return static_cast<FormatArgumentKind>(value_.index()); }

    std::int64_t integer() const { return std::get<std::int64_t>(value_); }
    double number() const { return std::get<double>(value_); }
    const std::string& text() const { return std::get<std::string>(value_); }

    bool operator==(const FormatArgument&) const = default;

  private:
    template <std::integral Integer>
    static std::int64_t clamped(Integer value) {
        if constexpr (std::is_unsigned_v<Integer> && sizeof(Integer) >= sizeof(std::int64_t)) {
            constexpr auto largest = static_cast<std::uint64_t>(INT64_MAX);
            return static_cast<std::int64_t>(value > largest ? largest : value);
        } else {
            return static_cast<std::int64_t>(value);
        }
    }

    // In the order of FormatArgumentKind.
    std::variant<std::int64_t, double, std::string> value_;
};

}  // namespace platform::foundation
