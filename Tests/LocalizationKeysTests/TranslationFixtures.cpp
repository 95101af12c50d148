#include "TranslationFixtures.h"

#include <functional>
#include <sstream>

#include "TextMatching.h"

namespace ventrella::tests {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) {
        return {};
    }
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// Calls `take` with each line that is not a comment, trimmed, and its number.
void forEachLine(std::string_view text, const std::function<void(std::string_view, int)>& take) {
    int number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const auto line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (!line.empty() && !line.starts_with("#")) {
            take(line, number);
        }
    }
}

std::string at(int line) {
    return "line " + std::to_string(line) + ": ";
}

}  // namespace

Glossary Glossary::parse(std::string_view text) {
    Glossary glossary;
    forEachLine(text, [&](std::string_view line, int number) {
        const auto equals = line.find(" = ");
        if (equals == std::string_view::npos) {
            glossary.problems.push_back(at(number) + "no \" = \" between term and forms");
            return;
        }
        GlossaryEntry entry{std::string(trimmed(line.substr(0, equals))), {}, number};
        auto forms = line.substr(equals + 3);
        while (true) {
            const auto bar = forms.find('|');
            const auto form = trimmed(forms.substr(0, bar));
            if (form.empty()) {
                glossary.problems.push_back(at(number) + "an empty form");
            } else {
                entry.forms.emplace_back(form);
            }
            if (bar == std::string_view::npos) {
                break;
            }
            forms = forms.substr(bar + 1);
        }
        if (entry.term.empty()) {
            glossary.problems.push_back(at(number) + "no term");
        } else if (glossary.entry(entry.term) != nullptr) {
            glossary.problems.push_back(at(number) + "repeats the term \"" + entry.term + "\"");
        } else if (!entry.forms.empty()) {
            glossary.entries.push_back(std::move(entry));
        }
    });
    return glossary;
}

const GlossaryEntry* Glossary::entry(std::string_view term) const {
    const auto wanted = folded(term);
    for (const auto& entry : entries) {
        if (folded(entry.term) == wanted) {
            return &entry;
        }
    }
    return nullptr;
}

AllowList AllowList::parse(std::string_view text) {
    AllowList list;
    forEachLine(text, [&](std::string_view line, int number) {
        if (!list.keys.emplace(line).second) {
            list.problems.push_back(at(number) + "repeats the key \"" + std::string(line) + "\"");
        }
    });
    return list;
}

}  // namespace ventrella::tests
