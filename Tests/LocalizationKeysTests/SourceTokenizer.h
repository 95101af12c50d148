#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ventrella::tests {

enum class SourceLanguage { cpp, qml };

// One token of C++ or QML source, as far as a search for calls and their arguments needs it.
struct SourceToken {
    enum class Kind { identifier, number, string, punctuation };

    Kind kind;
    // Identifiers and numbers as written; a string literal's decoded bytes; punctuation as written
    // ("::" and "->" are one token, every other mark is a token of its own).
    std::string text;
    int line;

    bool operator==(const SourceToken&) const = default;
};

// The tokens of `source`, without comments and white space. String literals are decoded
// (escapes, C++ raw strings and encoding prefixes) and, in C++, adjacent literals are joined into
// one token as the compiler joins them. In C++ a quote mark starts a character literal (skipped);
// in QML it starts a string. Throws std::runtime_error for an unterminated literal or comment.
std::vector<SourceToken> tokenize(std::string_view source, SourceLanguage language);

}  // namespace ventrella::tests
