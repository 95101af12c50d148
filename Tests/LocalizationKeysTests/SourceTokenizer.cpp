#include "SourceTokenizer.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <stdexcept>

namespace ventrella::tests {

namespace {

bool isIdentifierStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isIdentifierPart(char c) {
    return isIdentifierStart(c) || isDigit(c);
}

int hexValue(char c) {
    int value = 0;
    const auto [end, error] = std::from_chars(&c, &c + 1, value, 16);
    return error == std::errc() && end == &c + 1 ? value : -1;
}

void appendUTF8(std::string& text, std::uint32_t scalar) {
    if (scalar < 0x80) {
        text.push_back(static_cast<char>(scalar));
    } else if (scalar < 0x800) {
        text.push_back(static_cast<char>(0xC0 | (scalar >> 6)));
        text.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    } else if (scalar < 0x10000) {
        text.push_back(static_cast<char>(0xE0 | (scalar >> 12)));
        text.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    } else {
        text.push_back(static_cast<char>(0xF0 | (scalar >> 18)));
        text.push_back(static_cast<char>(0x80 | ((scalar >> 12) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)));
        text.push_back(static_cast<char>(0x80 | (scalar & 0x3F)));
    }
}

// The C++ encoding prefixes a string or character literal may carry.
constexpr std::array<std::string_view, 9> literalPrefixes = {"u8",  "u",  "U",  "L", "R",
                                                             "u8R", "uR", "UR", "LR"};

bool isLiteralPrefix(std::string_view word) {
    for (const auto prefix : literalPrefixes) {
        if (word == prefix) {
            return true;
        }
    }
    return false;
}

class Tokenizer {
  public:
    Tokenizer(std::string_view source, SourceLanguage language)
        : source_(source), language_(language) {}

    std::vector<SourceToken> run() {
        while (position_ < source_.size()) {
            const char c = source_[position_];
            if (c == '\n') {
                ++line_;
                ++position_;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++position_;
            } else if (startsWith("//")) {
                skipLineComment();
            } else if (startsWith("/*")) {
                skipBlockComment();
            } else if (isIdentifierStart(c)) {
                word();
            } else if (isDigit(c) || (c == '.' && isDigit(peek(1)))) {
                number();
            } else if (c == '"') {
                ++position_;
                quoted('"');
            } else if (c == '\'') {
                ++position_;
                if (language_ == SourceLanguage::qml) {
                    quoted('\'');
                } else {
                    skipCharacterLiteral();
                }
            } else if (c == '`' && language_ == SourceLanguage::qml) {
                ++position_;
                template_();
            } else {
                punctuation();
            }
        }
        return std::move(tokens_);
    }

  private:
    char peek(std::size_t offset) const {
        return position_ + offset < source_.size() ? source_[position_ + offset] : '\0';
    }

    bool startsWith(std::string_view text) const {
        return source_.substr(position_, text.size()) == text;
    }

    [[noreturn]] void fail(std::string_view what, int line) const {
        throw std::runtime_error(std::string(what) + " starting on line " + std::to_string(line));
    }

    void add(SourceToken::Kind kind, std::string text, int line) {
        tokens_.push_back({kind, std::move(text), line});
    }

    void addString(std::string text, int line) {
        // The compiler joins adjacent literals; QML has no such rule.
        if (language_ == SourceLanguage::cpp && !tokens_.empty() &&
            tokens_.back().kind == SourceToken::Kind::string) {
            tokens_.back().text += text;
            return;
        }
        add(SourceToken::Kind::string, std::move(text), line);
    }

    void skipLineComment() {
        while (position_ < source_.size() && source_[position_] != '\n') {
            ++position_;
        }
    }

    void skipBlockComment() {
        const int start = line_;
        const auto end = source_.find("*/", position_ + 2);
        if (end == std::string_view::npos) {
            fail("unterminated comment", start);
        }
        for (auto i = position_; i < end; ++i) {
            line_ += source_[i] == '\n' ? 1 : 0;
        }
        position_ = end + 2;
    }

    void word() {
        const auto start = position_;
        while (position_ < source_.size() && isIdentifierPart(source_[position_])) {
            ++position_;
        }
        const auto text = source_.substr(start, position_ - start);
        const char next = peek(0);
        if (language_ == SourceLanguage::cpp && isLiteralPrefix(text) &&
            (next == '"' || (next == '\'' && text.back() != 'R'))) {
            ++position_;
            if (next == '\'') {
                skipCharacterLiteral();
            } else if (text.back() == 'R') {
                raw();
            } else {
                quoted('"');
            }
            return;
        }
        add(SourceToken::Kind::identifier, std::string(text), line_);
    }

    void number() {
        const auto start = position_;
        while (position_ < source_.size()) {
            const char c = source_[position_];
            const char previous = position_ > start ? source_[position_ - 1] : '\0';
            const bool exponentSign =
                (c == '+' || c == '-') &&
                (previous == 'e' || previous == 'E' || previous == 'p' || previous == 'P');
            // A quote mark between digits is C++'s digit separator, not a character literal.
            if (!(isIdentifierPart(c) || c == '.' || c == '\'' || exponentSign)) {
                break;
            }
            ++position_;
        }
        add(SourceToken::Kind::number, std::string(source_.substr(start, position_ - start)),
            line_);
    }

    // One escape sequence after its backslash, appended to `text`.
    void escape(std::string& text, int start) {
        if (position_ >= source_.size()) {
            fail("unterminated string", start);
        }
        const char c = source_[position_++];
        switch (c) {
            case 'n':
                text.push_back('\n');
                return;
            case 't':
                text.push_back('\t');
                return;
            case 'r':
                text.push_back('\r');
                return;
            case 'a':
                text.push_back('\a');
                return;
            case 'b':
                text.push_back('\b');
                return;
            case 'f':
                text.push_back('\f');
                return;
            case 'v':
                text.push_back('\v');
                return;
            case '\n':
                // A line continuation inside the literal.
                ++line_;
                return;
            case 'x': {
                std::uint32_t value = 0;
                while (hexValue(peek(0)) >= 0) {
                    value = value * 16 + static_cast<std::uint32_t>(hexValue(source_[position_]));
                    ++position_;
                }
                text.push_back(static_cast<char>(value & 0xFF));
                return;
            }
            case 'u':
            case 'U': {
                const int digits = c == 'u' ? 4 : 8;
                std::uint32_t value = 0;
                for (int i = 0; i < digits; ++i) {
                    const int digit = hexValue(peek(0));
                    if (digit < 0) {
                        fail("malformed universal character name", start);
                    }
                    value = value * 16 + static_cast<std::uint32_t>(digit);
                    ++position_;
                }
                appendUTF8(text, value);
                return;
            }
            default:
                break;
        }
        if (c >= '0' && c <= '7') {
            std::uint32_t value = static_cast<std::uint32_t>(c - '0');
            for (int i = 0; i < 2 && peek(0) >= '0' && peek(0) <= '7'; ++i) {
                value = value * 8 + static_cast<std::uint32_t>(source_[position_++] - '0');
            }
            text.push_back(static_cast<char>(value & 0xFF));
            return;
        }
        // \" \' \\ \? and, in QML, any other character stand for themselves.
        text.push_back(c);
    }

    // A literal after its opening `quote`.
    void quoted(char quote) {
        const int start = line_;
        std::string text;
        while (true) {
            if (position_ >= source_.size() || source_[position_] == '\n') {
                fail("unterminated string", start);
            }
            const char c = source_[position_++];
            if (c == quote) {
                break;
            }
            if (c == '\\') {
                escape(text, start);
            } else {
                text.push_back(c);
            }
        }
        addString(std::move(text), start);
    }

    // A raw literal after its opening quote: R"delimiter( ... )delimiter".
    void raw() {
        const int start = line_;
        const auto open = source_.find('(', position_);
        if (open == std::string_view::npos) {
            fail("malformed raw string", start);
        }
        const std::string close =
            ")" + std::string(source_.substr(position_, open - position_)) + "\"";
        const auto end = source_.find(close, open + 1);
        if (end == std::string_view::npos) {
            fail("unterminated raw string", start);
        }
        std::string text(source_.substr(open + 1, end - open - 1));
        for (const char c : text) {
            line_ += c == '\n' ? 1 : 0;
        }
        position_ = end + close.size();
        addString(std::move(text), start);
    }

    void skipCharacterLiteral() {
        const int start = line_;
        std::string ignored;
        while (true) {
            if (position_ >= source_.size() || source_[position_] == '\n') {
                fail("unterminated character literal", start);
            }
            const char c = source_[position_++];
            if (c == '\'') {
                return;
            }
            if (c == '\\') {
                escape(ignored, start);
            }
        }
    }

    // A QML template literal, kept as written (its substitutions are not looked into).
    void template_() {
        const int start = line_;
        std::string text;
        while (true) {
            if (position_ >= source_.size()) {
                fail("unterminated template literal", start);
            }
            const char c = source_[position_++];
            if (c == '`') {
                break;
            }
            line_ += c == '\n' ? 1 : 0;
            if (c == '\\') {
                escape(text, start);
            } else {
                text.push_back(c);
            }
        }
        add(SourceToken::Kind::string, std::move(text), start);
    }

    void punctuation() {
        for (const std::string_view pair : {"::", "->"}) {
            if (startsWith(pair)) {
                add(SourceToken::Kind::punctuation, std::string(pair), line_);
                position_ += pair.size();
                return;
            }
        }
        add(SourceToken::Kind::punctuation, std::string(1, source_[position_]), line_);
        ++position_;
    }

    std::string_view source_;
    SourceLanguage language_;
    std::size_t position_ = 0;
    int line_ = 1;
    std::vector<SourceToken> tokens_;
};

}  // namespace

std::vector<SourceToken> tokenize(std::string_view source, SourceLanguage language) {
    return Tokenizer(source, language).run();
}

}  // namespace ventrella::tests
