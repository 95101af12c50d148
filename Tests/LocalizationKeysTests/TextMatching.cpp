#include "TextMatching.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace ventrella::tests {

namespace {

bool isWordCharacter(UChar32 character) {
    return u_isalnum(character) || (U_GET_GC_MASK(character) & U_GC_M_MASK) != 0;
}

bool hasWordCharacter(std::string_view text) {
    for (std::int32_t index = 0; index < static_cast<std::int32_t>(text.size());) {
        UChar32 character;
        U8_NEXT(text.data(), index, static_cast<std::int32_t>(text.size()), character);
        if (character >= 0 && isWordCharacter(character)) {
            return true;
        }
    }
    return false;
}

// Whether a word character touches the span [begin, end) of `text` from either side.
bool touchesWordCharacter(std::string_view text, std::size_t begin, std::size_t end) {
    const auto length = static_cast<std::int32_t>(text.size());
    if (begin > 0) {
        auto index = static_cast<std::int32_t>(begin);
        UChar32 character;
        U8_PREV(text.data(), 0, index, character);
        if (character >= 0 && isWordCharacter(character)) {
            return true;
        }
    }
    if (end < text.size()) {
        auto index = static_cast<std::int32_t>(end);
        UChar32 character;
        U8_NEXT(text.data(), index, length, character);
        if (character >= 0 && isWordCharacter(character)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string folded(std::string_view text) {
    std::string result;
    icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())))
        .foldCase()
        .toUTF8String(result);
    return result;
}

bool containsTerm(std::string_view text, std::string_view term) {
    const auto haystack = folded(text);
    const auto needle = folded(term);
    if (needle.empty()) {
        return false;
    }
    const bool wholeWords = hasWordCharacter(needle);
    for (auto at = haystack.find(needle); at != std::string::npos;
         at = haystack.find(needle, at + 1)) {
        if (!wholeWords || !touchesWordCharacter(haystack, at, at + needle.size())) {
            return true;
        }
    }
    return false;
}

bool containsStem(std::string_view text, std::string_view stem) {
    const auto needle = folded(stem);
    return !needle.empty() && folded(text).find(needle) != std::string::npos;
}

std::size_t occurrences(std::string_view text, std::string_view part) {
    std::size_t count = 0;
    if (part.empty()) {
        return count;
    }
    for (auto at = text.find(part); at != std::string_view::npos;
         at = text.find(part, at + part.size())) {
        ++count;
    }
    return count;
}

}  // namespace ventrella::tests
