#include "TranslationRules.h"

#include <unicode/ubidi.h>
#include <unicode/uloc.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>

#include "Platform/Foundation/FormatArgument.h"
#include "Platform/Foundation/Locale.h"
#include "Platform/Foundation/StringFormatter.h"
#include "TextMatching.h"

namespace ventrella::tests {

namespace {

using platform::foundation::FormatArgument;
using platform::foundation::FormatArgumentKind;
using platform::foundation::Locale;
using platform::foundation::StringFormatter;
using platform::foundation::StringsTable;

std::string inQuotes(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string entry(std::string_view key, std::string_view value) {
    return inQuotes(key) + " = " + inQuotes(value);
}

// A placeholder as written: its argument's position when numbered, and its conversion
// ("@", "d", ".1f") without the position.
struct Placeholder {
    std::optional<int> position;
    std::string conversion;
};

std::vector<Placeholder> placeholdersOf(std::string_view format) {
    std::vector<Placeholder> found;
    for (std::size_t at = format.find('%'); at != std::string_view::npos;
         at = format.find('%', at + 1)) {
        auto rest = format.substr(at + 1);
        if (rest.starts_with("%")) {
            ++at;
            continue;
        }
        Placeholder placeholder;
        std::size_t digits = 0;
        while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) {
            ++digits;
        }
        if (digits > 0 && digits < rest.size() && rest[digits] == '$') {
            placeholder.position = std::stoi(std::string(rest.substr(0, digits)));
            rest.remove_prefix(digits + 1);
        }
        std::size_t length = 0;
        while (length < rest.size() && (std::isdigit(static_cast<unsigned char>(rest[length])) ||
                                        rest[length] == '.' || rest[length] == 'l')) {
            ++length;
        }
        placeholder.conversion = std::string(rest.substr(0, std::min(length + 1, rest.size())));
        found.push_back(placeholder);
    }
    return found;
}

// Distinct arguments of the kinds asked for: Latin words, and numbers no text of a table holds.
std::vector<FormatArgument> sampleArguments(const std::vector<FormatArgumentKind>& kinds) {
    static const std::vector<std::string> words = {"Alpha", "Bravo",   "Charlie", "Delta",
                                                   "Echo",  "Foxtrot", "Golf",    "Hotel"};
    std::vector<FormatArgument> arguments;
    for (std::size_t index = 0; index < kinds.size(); ++index) {
        switch (kinds[index]) {
            case FormatArgumentKind::integer:
                arguments.emplace_back(static_cast<int>(4817 + 1111 * index));
                break;
            case FormatArgumentKind::number:
                arguments.emplace_back(36.5 + 11.0 * static_cast<double>(index));
                break;
            case FormatArgumentKind::text:
                arguments.emplace_back(words[index % words.size()]);
                break;
        }
    }
    return arguments;
}

std::vector<std::string> namesWithin(std::string_view term) {
    std::vector<std::string> names;
    for (const auto& name : untranslatedNames) {
        if (containsTerm(name, term) && folded(name) != folded(term)) {
            names.push_back(name);
        }
    }
    return names;
}

std::string without(std::string text, const std::vector<std::string>& names) {
    for (const auto& name : names) {
        for (auto at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
            text.replace(at, name.size(), " ");
        }
    }
    return text;
}

std::string joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const auto& part : parts) {
        text += (text.empty() ? "" : " | ") + part;
    }
    return text;
}

// A span of bytes of a formatted text that must read as one piece, in order.
struct Piece {
    std::size_t begin;
    std::size_t end;
    std::string text;
};

std::int32_t utf16Length(std::string_view utf8) {
    return icu::UnicodeString::fromUTF8(
               icu::StringPiece(utf8.data(), static_cast<std::int32_t>(utf8.size())))
        .length();
}

}  // namespace

std::vector<std::string> placeholderProblems(const StringsTable& table,
                                             const std::string& language) {
    std::vector<std::string> problems;
    const StringFormatter formatter{Locale(language)};
    for (const auto& [key, value] : table.entries()) {
        const auto expected = StringFormatter::argumentKinds(key);
        const auto kinds = StringFormatter::argumentKinds(value);
        if (!kinds) {
            problems.push_back(entry(key, value) + ": malformed placeholders");
            continue;
        }
        if (kinds != expected) {
            problems.push_back(entry(key, value) + ": placeholders differ from the key's");
            continue;
        }
        if (key.find("%%") != std::string::npos && value.find("%%") == std::string::npos) {
            problems.push_back(entry(key, value) + ": \"%%\" is lost");
        }
        std::vector<int> positions;
        for (const auto& placeholder : placeholdersOf(value)) {
            if (placeholder.position) {
                positions.push_back(*placeholder.position);
            }
        }
        bool inOrder = !positions.empty();
        for (std::size_t index = 0; index < positions.size(); ++index) {
            inOrder = inOrder && positions[index] == static_cast<int>(index) + 1;
        }
        if (inOrder) {
            problems.push_back(entry(key, value) +
                               ": numbered placeholders that keep the key's order");
        }
        if (!formatter.format(value, sampleArguments(*kinds))) {
            problems.push_back(entry(key, value) + ": the formatter rejects it");
        }
    }
    return problems;
}

std::vector<std::string> untranslatedNameProblems(const StringsTable& table) {
    std::vector<std::string> problems;
    for (const auto& [key, value] : table.entries()) {
        for (const auto& name : untranslatedNames) {
            if (occurrences(value, name) < occurrences(key, name)) {
                problems.push_back(entry(key, value) + ": " + inQuotes(name) +
                                   " must stay as it is");
            }
        }
    }
    return problems;
}

std::vector<std::string> typographyProblems(const StringsTable& table, const Glossary& glossary) {
    std::vector<std::string> problems;
    for (const auto& [key, value] : table.entries()) {
        if (value.find("...") != std::string::npos) {
            problems.push_back(entry(key, value) + ": \"...\" where \"…\" belongs");
        }
        for (const auto& mark : typographicMarks) {
            if (key.find(mark) != std::string::npos && value.find(mark) == std::string::npos &&
                glossary.entry(mark) == nullptr) {
                problems.push_back(entry(key, value) + ": " + inQuotes(mark) + " is lost");
            }
        }
    }
    return problems;
}

std::vector<std::string> glossaryProblems(const StringsTable& table, const Glossary& glossary) {
    std::vector<std::string> problems;
    for (const auto& term : glossary.entries) {
        const auto names = namesWithin(term.term);
        std::set<std::string> used;
        bool occurs = false;
        for (const auto& [key, value] : table.entries()) {
            if (!containsTerm(without(key, names), term.term)) {
                continue;
            }
            occurs = true;
            const auto translation = without(value, names);
            bool found = false;
            for (const auto& form : term.forms) {
                if (containsStem(translation, form)) {
                    used.insert(form);
                    found = true;
                }
            }
            if (!found) {
                problems.push_back(entry(key, value) + ": \"" + term.term + "\" is none of " +
                                   joined(term.forms));
            }
        }
        if (!occurs) {
            problems.push_back("the glossary's \"" + term.term + "\" (line " +
                               std::to_string(term.line) + ") is in no key");
        }
        for (const auto& form : term.forms) {
            if (occurs && !used.contains(form)) {
                const bool name = std::any_of(names.begin(), names.end(),
                                              [&](const auto& n) { return containsStem(form, n); });
                problems.push_back("the glossary's form \"" + form + "\" of \"" + term.term +
                                   "\" is in no translation of it" +
                                   (name ? " (untranslated names are left out of the match)" : ""));
            }
        }
    }
    return problems;
}

std::vector<std::string> sameAsKeyProblems(const StringsTable& table, const AllowList& allowed) {
    std::vector<std::string> problems;
    for (const auto& [key, value] : table.entries()) {
        if (value == key && !allowed.keys.contains(key)) {
            problems.push_back(inQuotes(key) + " is left untranslated and not allow-listed");
        }
    }
    for (const auto& key : allowed.keys) {
        const auto value = table.value(key);
        if (!value) {
            problems.push_back("the allow-list names a key the table lacks: " + inQuotes(key));
        } else if (*value != key) {
            problems.push_back("the allow-list names a translated key: " + entry(key, *value));
        }
    }
    return problems;
}

std::vector<std::string> buttonMentionProblems(const StringsTable& table,
                                               const std::vector<ButtonMention>& mentions) {
    std::vector<std::string> problems;
    for (const auto& mention : mentions) {
        const auto sentence = table.value(mention.sentence);
        const auto button = table.value(mention.button);
        if (!sentence || !button) {
            problems.push_back("no translation of " + inQuotes(mention.sentence) + " or of " +
                               inQuotes(mention.button));
        } else if (!containsStem(*sentence, *button)) {
            problems.push_back(entry(mention.sentence, *sentence) + ": names the button " +
                               inQuotes(mention.button) + " other than its label " +
                               inQuotes(*button));
        }
    }
    return problems;
}

std::vector<std::string> readingOrderProblems(const StringsTable& table,
                                              const std::string& language) {
    std::vector<std::string> problems;
    const StringFormatter formatter{Locale(language)};
    const bool rightToLeft = uloc_isRightToLeft(language.c_str());
    for (const auto& [key, value] : table.entries()) {
        const auto kinds = StringFormatter::argumentKinds(value);
        if (!kinds) {
            continue;  // placeholderProblems reports it
        }
        const auto arguments = sampleArguments(*kinds);
        const auto text = formatter.format(value, arguments);
        if (!text) {
            continue;
        }
        // The pieces: each argument as it is written into the text, and each untranslated name
        // not part of a longer one.
        std::vector<std::string> pieceTexts;
        for (const auto& placeholder : placeholdersOf(value)) {
            const auto index =
                placeholder.position.value_or(static_cast<int>(pieceTexts.size()) + 1);
            if (index < 1 || index > static_cast<int>(arguments.size())) {
                continue;
            }
            if (auto alone = formatter.format("%" + placeholder.conversion,
                                              arguments[static_cast<std::size_t>(index - 1)])) {
                pieceTexts.push_back(*alone);
            }
        }
        pieceTexts.insert(pieceTexts.end(), untranslatedNames.begin(), untranslatedNames.end());
        std::vector<Piece> pieces;
        for (const auto& piece : pieceTexts) {
            for (auto at = text->find(piece); at != std::string::npos;
                 at = text->find(piece, at + 1)) {
                const Piece found{at, at + piece.size(), piece};
                const bool within = std::any_of(pieces.begin(), pieces.end(), [&](const Piece& p) {
                    return p.begin <= found.begin && found.end <= p.end;
                });
                if (!within) {
                    pieces.push_back(found);
                }
            }
        }
        if (pieces.empty()) {
            continue;
        }
        std::sort(pieces.begin(), pieces.end(),
                  [](const Piece& a, const Piece& b) { return a.begin < b.begin; });

        const auto utf16 = icu::UnicodeString::fromUTF8(
            icu::StringPiece(text->data(), static_cast<std::int32_t>(text->size())));
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<UBiDi, decltype(&ubidi_close)> bidi(
            ubidi_openSized(utf16.length(), 0, &status), &ubidi_close);
        ubidi_setPara(bidi.get(), utf16.getBuffer(), utf16.length(),
                      rightToLeft ? UBIDI_RTL : UBIDI_LTR, nullptr, &status);
        if (U_FAILURE(status)) {
            problems.push_back(entry(key, value) + ": the bidirectional algorithm failed");
            continue;
        }
        // Each piece's leftmost and rightmost visual position.
        std::vector<std::pair<std::int32_t, std::int32_t>> spans;
        bool whole = true;
        for (const auto& piece : pieces) {
            const auto begin = utf16Length(std::string_view(*text).substr(0, piece.begin));
            const auto end = utf16Length(std::string_view(*text).substr(0, piece.end));
            std::int32_t left = utf16.length();
            std::int32_t right = -1;
            for (auto index = begin; index < end; ++index) {
                const auto visual = ubidi_getVisualIndex(bidi.get(), index, &status);
                left = std::min(left, visual);
                right = std::max(right, visual);
            }
            whole = whole && right - left + 1 == end - begin;
            spans.emplace_back(left, right);
        }
        bool ordered = true;
        for (std::size_t index = 1; index < spans.size(); ++index) {
            ordered = ordered && (rightToLeft ? spans[index].second < spans[index - 1].first
                                              : spans[index - 1].second < spans[index].first);
        }
        if (!whole || !ordered) {
            std::vector<std::string> names;
            for (const auto& piece : pieces) {
                names.push_back(piece.text);
            }
            problems.push_back(entry(key, value) + " shows " + joined(names) +
                               (whole ? " out of reading order" : " broken apart"));
        }
    }
    return problems;
}

}  // namespace ventrella::tests
