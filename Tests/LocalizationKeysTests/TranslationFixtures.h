#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ventrella::tests {

// The two files each language keeps beside its table, under Tests/Fixtures/Localization/.
// In both, blank lines and lines starting with "#" are comments.

// "<lang>.glossary": one term a line, `english term = accepted form | accepted form | …`.
// A form is a stem found case-insensitively anywhere in a translation ("Lüfter" accepts
// "Lüftersteuerung"). A term of punctuation ("…") names the language's own form of that mark.
struct GlossaryEntry {
    std::string term;
    std::vector<std::string> forms;
    int line = 0;
};

struct Glossary {
    std::vector<GlossaryEntry> entries;
    // Lines that are not well-formed, each with its number.
    std::vector<std::string> problems;

    static Glossary parse(std::string_view text);

    // The entry whose term folds to the same text as `term`, or null.
    const GlossaryEntry* entry(std::string_view term) const;
};

// "<lang>.same": one key a line, each a key whose translation may equal it.
struct AllowList {
    std::set<std::string> keys;
    std::vector<std::string> problems;

    static AllowList parse(std::string_view text);
};

}  // namespace ventrella::tests
