#include "LookupScanner.h"

#include <sstream>

namespace ventrella::tests {

namespace {

using Kind = SourceToken::Kind;

bool is(const SourceToken& token, Kind kind, std::string_view text) {
    return token.kind == kind && token.text == text;
}

std::vector<std::string> split(std::string_view text, std::string_view separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + separator.size();
    }
}

// Whether the tokens before `open` (an opening parenthesis) end with the callee's names.
bool callsCallee(const std::vector<SourceToken>& tokens, std::size_t open,
                 const std::vector<std::string>& names) {
    std::size_t index = open;
    for (auto name = names.rbegin(); name != names.rend(); ++name) {
        if (name != names.rbegin()) {
            if (index == 0 || !is(tokens[index - 1], Kind::punctuation, "::")) {
                return false;
            }
            --index;
        }
        if (index == 0 || !is(tokens[index - 1], Kind::identifier, *name)) {
            return false;
        }
        --index;
    }
    return true;
}

std::string spelled(const SourceToken& token) {
    return token.kind == Kind::string ? "\"" + token.text + "\"" : token.text;
}

}  // namespace

std::vector<LookupCall> findCalls(const std::vector<SourceToken>& tokens,
                                  const std::vector<std::string>& callees) {
    std::vector<std::vector<std::string>> patterns;
    for (const auto& callee : callees) {
        patterns.push_back(split(callee, "::"));
    }
    std::vector<LookupCall> calls;
    for (std::size_t open = 0; open < tokens.size(); ++open) {
        if (!is(tokens[open], Kind::punctuation, "(")) {
            continue;
        }
        for (std::size_t p = 0; p < patterns.size(); ++p) {
            if (!callsCallee(tokens, open, patterns[p])) {
                continue;
            }
            // The first argument: up to the first comma or closing parenthesis outside brackets.
            std::vector<const SourceToken*> argument;
            int depth = 0;
            for (auto i = open + 1; i < tokens.size(); ++i) {
                const auto& token = tokens[i];
                if (token.kind == Kind::punctuation) {
                    if (depth == 0 && (token.text == "," || token.text == ")")) {
                        break;
                    }
                    if (token.text == "(" || token.text == "[" || token.text == "{") {
                        ++depth;
                    } else if (token.text == ")" || token.text == "]" || token.text == "}") {
                        --depth;
                    }
                }
                argument.push_back(&token);
            }
            bool declaration = argument.empty();
            for (std::size_t i = 1; i < argument.size(); ++i) {
                declaration = declaration || (argument[i - 1]->kind == Kind::identifier &&
                                              argument[i]->kind == Kind::identifier);
            }
            if (declaration) {
                break;
            }
            LookupCall call{callees[p], {}, {}, {}, tokens[open].line};
            for (const auto* token : argument) {
                call.argument += (call.argument.empty() ? "" : " ") + spelled(*token);
                if (token->kind == Kind::string) {
                    call.literals.push_back(token->text);
                }
            }
            if (argument.size() == 1 && argument.front()->kind == Kind::string) {
                call.key = argument.front()->text;
            }
            calls.push_back(std::move(call));
            break;
        }
    }
    return calls;
}

std::vector<NamedLiteral> literalsNamed(const std::vector<SourceToken>& tokens,
                                        std::string_view name) {
    std::vector<NamedLiteral> literals;
    for (std::size_t i = 0; i + 2 < tokens.size(); ++i) {
        if (is(tokens[i], Kind::identifier, name) &&
            (is(tokens[i + 1], Kind::punctuation, "=") ||
             is(tokens[i + 1], Kind::punctuation, ",")) &&
            tokens[i + 2].kind == Kind::string) {
            literals.push_back({tokens[i + 2].text, tokens[i + 2].line});
        }
    }
    return literals;
}

std::optional<std::string> referencedName(std::string_view argument) {
    std::vector<std::string> words;
    std::istringstream stream{std::string(argument)};
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    const bool wrapped = words.size() >= 5 && words[0] == "std" && words[1] == "::" &&
                         (words[2] == "string" || words[2] == "string_view") && words[3] == "(" &&
                         words.back() == ")";
    if (wrapped) {
        words = std::vector<std::string>(words.begin() + 4, words.end() - 1);
    }
    // A name, or names joined by "::".
    for (std::size_t i = 0; i < words.size(); ++i) {
        const bool separator = i % 2 == 1;
        const auto& word = words[i];
        const bool identifier = !word.empty() && word != "::" &&
                                word.find_first_not_of(
                                    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_"
                                    "0123456789") == std::string::npos &&
                                !(word[0] >= '0' && word[0] <= '9');
        if (separator ? word != "::" : !identifier) {
            return std::nullopt;
        }
    }
    if (words.empty() || words.size() % 2 == 0) {
        return std::nullopt;
    }
    return words.back();
}

}  // namespace ventrella::tests
