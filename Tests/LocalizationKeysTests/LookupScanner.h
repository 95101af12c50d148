#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SourceTokenizer.h"

namespace ventrella::tests {

// A call found in source: which callee, its first argument, and the key when that argument is a
// string literal.
struct LookupCall {
    std::string callee;
    // The first argument's tokens joined by single spaces, string literals in double quotes:
    // "text_", "std :: string ( text )", "\"Boost\"".
    std::string argument;
    // The argument's text when it is one string literal (adjacent literals joined).
    std::optional<std::string> key;
    // Every string literal within the argument.
    std::vector<std::string> literals;
    int line;
};

// A string literal that a source gives a name.
struct NamedLiteral {
    std::string text;
    int line;
};

// The calls of any of `callees` in `tokens`. A callee is written as the names that must end the
// called expression, joined by "::": "L10n::format" matches `L10n::format(` and
// `core::L10n::format(`; "qsTr" matches `qsTr(`. Declarations and definitions of such functions
// (a first argument that names a type and a parameter, such as `std::string_view key`) and calls
// without arguments are not calls of interest and are left out.
std::vector<LookupCall> findCalls(const std::vector<SourceToken>& tokens,
                                  const std::vector<std::string>& callees);

// The string literals given to `name`: `name = "…"` (a constant) or `name, "…"` (the member
// written before a literal in an initializer list).
std::vector<NamedLiteral> literalsNamed(const std::vector<SourceToken>& tokens,
                                        std::string_view name);

// The name an argument refers to when it is a (qualified) name, possibly wrapped in one
// `std::string(…)` or `std::string_view(…)`: "kNotEnabled", "SMCReadClient :: noFanReason" and
// "std :: string ( noProxyText )" give the last name; anything else gives nothing.
std::optional<std::string> referencedName(std::string_view argument);

}  // namespace ventrella::tests
