#pragma once

#include <concepts>
#include <string>
#include <string_view>
#include <type_traits>

#include "AppLog/AppLogPrivacy.h"

namespace ventrella::applog {

// Text of a value as it appears in a log line: integers without grouping, doubles in their
// shortest round-trip form with ".0" when integral (0.5, 2.0, 100001.0), Booleans as
// "true"/"false", any other value through its description().
std::string appLogDescription(std::string_view value);
std::string appLogDescription(const char* value);
std::string appLogDescription(bool value);
std::string appLogDescription(long long value);
std::string appLogDescription(unsigned long long value);
std::string appLogDescription(double value);
std::string appLogDescription(float value);

template <typename T>
requires(std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, char>) std::string
    appLogDescription(T value) {
    if constexpr (std::is_signed_v<T>) {
        return appLogDescription(static_cast<long long>(value));
    } else {
        return appLogDescription(static_cast<unsigned long long>(value));
    }
}

template <typename T>
requires requires(const T& value) {
    { value.description() } -> std::convertible_to<std::string>;
}
std::string appLogDescription(const T& value) {
    return value.description();
}

// One interpolated value with its privacy.
struct AppLogValue {
    std::string text;
    AppLogPrivacy privacy;
};

template <typename T>
AppLogValue pub(const T& value) {
    return {appLogDescription(value), AppLogPrivacy::publicly()};
}
template <typename T>
AppLogValue priv(const T& value) {
    return {appLogDescription(value), AppLogPrivacy::privately()};
}
template <typename T>
AppLogValue privHash(const T& value) {
    return {appLogDescription(value), AppLogPrivacy::privately(AppLogPrivacy::Mask::hash)};
}

// A rendered log message: built from a literal, or piece by piece where each value carries
// its privacy: AppLogMessage() << "smc.read key=" << pub(key) << " size=" << pub(size).
class AppLogMessage {
  public:
    AppLogMessage() = default;
    AppLogMessage(const char* literal) : rendered_(literal) {}  // NOLINT: literal messages

    AppLogMessage& operator<<(std::string_view literal) {
        rendered_.append(literal);
        return *this;
    }
    AppLogMessage& operator<<(const AppLogValue& value) {
        rendered_.append(value.privacy.render(value.text));
        return *this;
    }

    const std::string& rendered() const { return rendered_; }

  private:
    std::string rendered_;
};

}  // namespace ventrella::applog
