#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ventrella::tests {

// One area of a table: a comment and the keys of the entries below it, in their order.
struct TableArea {
    std::string title;
    std::vector<std::string> keys;

    bool operator==(const TableArea&) const = default;
};

// How a ".strings" table written one entry a line is laid out: its areas, in order. A comment
// followed by entries opens an area; a comment followed by another comment (a file's heading) is
// no area. Lines that are neither comments, entries nor blank are problems, as are entries before
// the first area and lines holding other than one entry.
struct TableLayout {
    std::vector<TableArea> areas;
    std::vector<std::string> problems;

    static TableLayout read(std::string_view text);

    // Every key, in order, repeats included.
    std::vector<std::string> keys() const;
};

}  // namespace ventrella::tests
