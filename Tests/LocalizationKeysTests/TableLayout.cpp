#include "TableLayout.h"

#include "Platform/Foundation/StringsTable.h"

namespace ventrella::tests {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

}  // namespace

TableLayout TableLayout::read(std::string_view text) {
    TableLayout layout;
    std::string comment;
    bool inComment = false;
    bool commentOpen = false;  // a comment read and no entry since
    int number = 0;
    const auto problem = [&](const std::string& what) {
        layout.problems.push_back("line " + std::to_string(number) + ": " + what);
    };
    while (!text.empty()) {
        const auto end = text.find('\n');
        auto line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (inComment || line.starts_with("/*")) {
            if (!inComment) {
                comment.clear();
                line.remove_prefix(2);
            }
            const auto close = line.find("*/");
            inComment = close == std::string_view::npos;
            if (!comment.empty()) {
                comment += ' ';
            }
            comment += trimmed(line.substr(0, close));
            if (!inComment) {
                if (!trimmed(line.substr(close + 2)).empty()) {
                    problem("text after a comment");
                }
                commentOpen = true;
            }
            continue;
        }
        if (line.empty()) {
            continue;
        }
        if (!line.starts_with("\"")) {
            problem("neither a comment nor an entry");
            continue;
        }
        const auto entry = platform::foundation::StringsTable::parse(line);
        if (!entry || entry->size() != 1 || !line.ends_with(";")) {
            problem("not one entry");
            continue;
        }
        if (commentOpen) {
            layout.areas.push_back({comment, {}});
            commentOpen = false;
        }
        if (layout.areas.empty()) {
            problem("an entry before the first area's comment");
            continue;
        }
        layout.areas.back().keys.push_back(entry->entries().begin()->first);
    }
    if (inComment) {
        problem("an unclosed comment");
    }
    return layout;
}

std::vector<std::string> TableLayout::keys() const {
    std::vector<std::string> keys;
    for (const auto& area : areas) {
        keys.insert(keys.end(), area.keys.begin(), area.keys.end());
    }
    return keys;
}

}  // namespace ventrella::tests
