#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace platform::foundation {

// The top-level values of a bundle's Info.plist, typed: a value asked for as the wrong type reads
// as absent (a string "true" is no Boolean). Nested dictionaries and arrays are not kept.
class InfoDictionary {
  public:
    using Value = std::variant<std::string, bool, std::int64_t, double>;

    InfoDictionary() = default;

    // An XML or binary property list whose root is a dictionary, parsed within the bounds of
    // parseBoundedPropertyList; anything else, and a file that is missing, unreadable or larger
    // than `maximumFileSize`, gives an empty dictionary.
    static InfoDictionary parse(std::string_view bytes);
    static InfoDictionary load(const std::filesystem::path& path);

    static constexpr std::size_t maximumFileSize = 64 * 1024;

    std::optional<std::string> string(std::string_view key) const;
    std::optional<bool> boolean(std::string_view key) const;
    std::optional<std::int64_t> integer(std::string_view key) const;
    std::optional<double> real(std::string_view key) const;

    bool empty() const { return values_.empty(); }

  private:
    template <class T>
    std::optional<T> typed(std::string_view key) const;

    std::map<std::string, Value, std::less<>> values_;
};

}  // namespace platform::foundation
