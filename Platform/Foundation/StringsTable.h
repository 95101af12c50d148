#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace platform::foundation {

// A ".strings" table: UTF-8 text of entries `"key" = "value";`.
//
// As the format has it: "/* */" and "//" comments; a key or value may be quoted (escapes \" \\ \'
// \n \t \r \a \b \f \v, \U or \u with one to four hex digits, UTF-16 surrogate pairs joined, and
// one to three octal digits) or a bare word of letters, digits and "_$+/:.-"; an entry without
// "= value" maps the key to itself; a duplicate key keeps its last value; a UTF-8 byte-order mark
// is skipped.
class StringsTable {
  public:
    using Entries = std::map<std::string, std::string, std::less<>>;

    StringsTable() = default;
    explicit StringsTable(Entries entries) : entries_(std::move(entries)) {}

    // Absent when the text is not a well-formed table (or not UTF-8).
    static std::optional<StringsTable> parse(std::string_view text);

    // Absent when the file is missing, unreadable, larger than `maximumFileSize` or malformed.
    static std::optional<StringsTable> load(const std::filesystem::path& path);

    static constexpr std::size_t maximumFileSize = 4 * 1024 * 1024;

    std::optional<std::string_view> value(std::string_view key) const;
    const Entries& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

  private:
    Entries entries_;
};

}  // namespace platform::foundation
