#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "Platform/Foundation/StringsTable.h"
#include "TranslationFixtures.h"

namespace ventrella::tests {

// The rules every translated table keeps. Each check takes a table of one language and gives its
// problems, one line each, naming the key; no problem means the table keeps the rule.

// Names shown as they stand in every language, also inside sentences.
inline const std::vector<std::string> untranslatedNames = {
    "Apple Automatic",      "CPU/GPU",   "CPU + GPU", "CPU", "GPU", "Native SMC",
    "Ventrella Fan Helper", "Ventrella",
};

// The typographic marks a translation keeps where its key has them.
inline const std::vector<std::string> typographicMarks = {"…", "·", "—", "°"};

// A sentence that names a button, and that button's own key.
struct ButtonMention {
    std::string sentence;
    std::string button;
};

// Each translation takes the arguments of its key, of the same kinds and as many ("%@" stays a
// text, "%d" an integer), keeps "%%" where the key has it, numbers its placeholders ("%2$@") only
// where it changes their order, and is filled by the formatter under the language's locale.
std::vector<std::string> placeholderProblems(const platform::foundation::StringsTable& table,
                                             const std::string& language);

// Each untranslated name occurs in the translation at least as often as in its key.
std::vector<std::string> untranslatedNameProblems(const platform::foundation::StringsTable& table);

// Each typographic mark of a key is in its translation, unless the glossary names the language's
// own form of it (its term is the mark); "..." stands nowhere.
std::vector<std::string> typographyProblems(const platform::foundation::StringsTable& table,
                                            const Glossary& glossary);

// Each entry whose key holds a glossary term (see containsTerm) has a translation holding one of
// the term's forms (see containsStem). Untranslated names are left out of both sides: "helper" is
// not looked for in "Ventrella Fan Helper". Every term must occur in some key and every form in
// some translation, so that the glossary tells how the table reads.
std::vector<std::string> glossaryProblems(const platform::foundation::StringsTable& table,
                                          const Glossary& glossary);

// Only the allow-listed keys have a translation equal to the key, and each of them does.
std::vector<std::string> sameAsKeyProblems(const platform::foundation::StringsTable& table,
                                           const AllowList& allowed);

// A sentence naming a button uses the translation of that button's label.
std::vector<std::string> buttonMentionProblems(const platform::foundation::StringsTable& table,
                                               const std::vector<ButtonMention>& mentions);

// Filled with sample arguments (Latin texts, numbers under the language's locale), each
// translation shows its arguments and untranslated names each in one piece and in the reading
// order of its language: from the right in a right-to-left language, by the Unicode
// bidirectional algorithm.
std::vector<std::string> readingOrderProblems(const platform::foundation::StringsTable& table,
                                              const std::string& language);

}  // namespace ventrella::tests
