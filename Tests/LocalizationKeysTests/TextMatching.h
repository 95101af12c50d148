#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ventrella::tests {

// Unicode case folding of UTF-8 text ("LÜFTER" and "lüfter" fold alike; "ß" folds to "ss").
std::string folded(std::string_view text);

// Whether `text` holds `term`, compared case-insensitively. A term that has a letter or digit is
// matched as whole words: "fan" is in "Fan control" and "fan-speed", not in "fans" or "Fantasy".
// A term of other characters ("…") is matched anywhere.
bool containsTerm(std::string_view text, std::string_view term);

// Whether `text` holds `stem` anywhere, compared case-insensitively: "lüfter" is in
// "Lüftersteuerung" and "LÜFTERN".
bool containsStem(std::string_view text, std::string_view stem);

// How often `part` occurs in `text`, exactly as written and without overlaps.
std::size_t occurrences(std::string_view text, std::string_view part);

}  // namespace ventrella::tests
