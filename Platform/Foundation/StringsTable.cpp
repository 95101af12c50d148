#include "Platform/Foundation/StringsTable.h"

#include <cstdint>

#include "Platform/Foundation/UnicodeText.h"
#include "Platform/Foundation/WholeFile.h"

namespace platform::foundation {

namespace {

bool isBareWordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

void appendUTF8(std::string& text, std::uint32_t codePoint) {
    if (codePoint < 0x80) {
        text += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        text += static_cast<char>(0xC0 | (codePoint >> 6));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        text += static_cast<char>(0xE0 | (codePoint >> 12));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | (codePoint >> 18));
        text += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        text += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    std::optional<StringsTable::Entries> entries() {
        StringsTable::Entries entries;
        for (;;) {
            if (!skipSpaceAndComments()) {
                return std::nullopt;
            }
            if (atEnd()) {
                return entries;
            }
            auto key = readString();
            if (!key || !skipSpaceAndComments()) {
                return std::nullopt;
            }
            std::optional<std::string> value;
            if (peek() == '=') {
                ++at_;
                if (!skipSpaceAndComments()) {
                    return std::nullopt;
                }
                value = readString();
                if (!value || !skipSpaceAndComments()) {
                    return std::nullopt;
                }
            } else {
                value = *key;
            }
            if (peek() != ';') {
                return std::nullopt;
            }
            ++at_;
            entries.insert_or_assign(std::move(*key), std::move(*value));
        }
    }

  private:
    bool atEnd() const { return at_ >= text_.size(); }
    char peek() const { return atEnd() ? '\0' : text_[at_]; }

    // False for a comment that is never closed.
    bool skipSpaceAndComments() {
        while (!atEnd()) {
            const char c = text_[at_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                ++at_;
            } else if (text_.substr(at_, 2) == "/*") {
                const auto end = text_.find("*/", at_ + 2);
                if (end == std::string_view::npos) {
                    return false;
                }
                at_ = end + 2;
            } else if (text_.substr(at_, 2) == "//") {
                const auto end = text_.find('\n', at_);
                at_ = end == std::string_view::npos ? text_.size() : end + 1;
            } else {
                return true;
            }
        }
        return true;
    }

    std::optional<std::string> readString() {
        if (peek() == '"') {
            ++at_;
            return readQuoted();
        }
        std::string word;
        while (!atEnd() && isBareWordCharacter(text_[at_])) {
            word += text_[at_++];
        }
        if (word.empty()) {
            return std::nullopt;
        }
        return word;
    }

    std::optional<std::string> readQuoted() {
        std::string text;
        while (!atEnd()) {
            const char c = text_[at_++];
            if (c == '"') {
                return text;
            }
            if (c != '\\') {
                text += c;
                continue;
            }
            if (atEnd()) {
                return std::nullopt;
            }
            if (!readEscape(text)) {
                return std::nullopt;
            }
        }
        return std::nullopt;  // unterminated
    }

    // Reads one escape after its backslash.
    bool readEscape(std::string& text) {
        const char c = text_[at_++];
        switch (c) {
            case 'a':
                text += '\a';
                return true;
            case 'b':
                text += '\b';
                return true;
            case 'f':
                text += '\f';
                return true;
            case 'n':
                text += '\n';
                return true;
            case 'r':
                text += '\r';
                return true;
            case 't':
                text += '\t';
                return true;
            case 'v':
                text += '\v';
                return true;
            case 'U':
            case 'u':
                return readUnicodeEscape(text);
            default:
                break;
        }
        if (c >= '0' && c <= '7') {
            std::uint32_t value = static_cast<std::uint32_t>(c - '0');
            for (int k = 0; k < 2 && !atEnd() && text_[at_] >= '0' && text_[at_] <= '7'; ++k) {
                value = value * 8 + static_cast<std::uint32_t>(text_[at_++] - '0');
            }
            appendUTF8(text, value);
            return true;
        }
        // \" \\ \' and any other character stand for themselves.
        text += c;
        return true;
    }

    std::optional<std::uint32_t> readHexUnit() {
        std::uint32_t value = 0;
        int count = 0;
        while (count < 4 && !atEnd() && hexValue(text_[at_]) >= 0) {
            value = value * 16 + static_cast<std::uint32_t>(hexValue(text_[at_++]));
            ++count;
        }
        if (count == 0) {
            return std::nullopt;
        }
        return value;
    }

    bool readUnicodeEscape(std::string& text) {
        auto unit = readHexUnit();
        if (!unit) {
            return false;
        }
        if (*unit >= 0xDC00 && *unit <= 0xDFFF) {
            return false;  // a low surrogate without its high one
        }
        if (*unit >= 0xD800 && *unit <= 0xDBFF) {
            if (text_.substr(at_, 2) != "\\U" && text_.substr(at_, 2) != "\\u") {
                return false;
            }
            at_ += 2;
            auto low = readHexUnit();
            if (!low || *low < 0xDC00 || *low > 0xDFFF) {
                return false;
            }
            appendUTF8(text, 0x10000 + ((*unit - 0xD800) << 10) + (*low - 0xDC00));
            return true;
        }
        appendUTF8(text, *unit);
        return true;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

}  // namespace

std::optional<StringsTable> StringsTable::parse(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    if (!isValidUTF8(text)) {
        return std::nullopt;
    }
    auto entries = Parser(text).entries();
    if (!entries) {
        return std::nullopt;
    }
    return StringsTable(std::move(*entries));
}

std::optional<StringsTable> StringsTable::load(const std::filesystem::path& path) {
    std::optional<std::string> text;
    try {
        text = readWholeFile(path, maximumFileSize);
    } catch (const std::filesystem::filesystem_error&) {
        return std::nullopt;
    }
    return text ? parse(*text) : std::nullopt;
}

std::optional<std::string_view> StringsTable::value(std::string_view key) const {
    const auto found = entries_.find(key);
    if (found == entries_.end()) {
        return std::nullopt;
    }
    return found->second;
}

}  // namespace platform::foundation
