#include "AppLog/AppLogMessage.h"

#include <array>
#include <charconv>

namespace ventrella::applog {

namespace {

template <typename T>
std::string toChars(T value) {
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

// A floating-point text that looks like an integer gets ".0", so 2.0 never reads as 2.
std::string withFraction(std::string text) {
    if (text.find_first_of(".eE") == std::string::npos &&
        text.find_first_of("in") == std::string::npos) {
        text += ".0";
    }
    return text;
}

}  // namespace

std::string appLogDescription(std::string_view value) {
    return std::string(value);
}
std::string appLogDescription(const char* value) {
    return std::string(value);
}
std::string appLogDescription(bool value) {
    return value ? "true" : "false";
}
std::string appLogDescription(long long value) {
    return toChars(value);
}
std::string appLogDescription(unsigned long long value) {
    return toChars(value);
}
std::string appLogDescription(double value) {
    return withFraction(toChars(value));
}
std::string appLogDescription(float value) {
    return withFraction(toChars(value));
}

}  // namespace ventrella::applog
