#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Foundation/EnvironmentLookup.h"

// The languages the user prefers, read from the POSIX locale variables, in the identifiers the
// bundle's language folders are named with ("de", "pt-BR", "zh-Hans").
namespace platform::foundation::UserLanguages {

// A POSIX locale name as a language tag: the codeset (".UTF-8") and modifier ("@euro") are
// dropped and "_" becomes "-" ("de_AT.UTF-8" gives "de-AT"). Absent for an empty name, "C" and
// "POSIX".
std::optional<std::string> languageTag(std::string_view posixLocale);

// As `languageTag`, and Chinese is named by its script as the language folders are: "zh_CN" and
// "zh_SG" give "zh-Hans", "zh_TW", "zh_HK" and "zh_MO" give "zh-Hant".
std::optional<std::string> languageIdentifier(std::string_view posixLocale);

// The user's languages, most preferred first: the entries of the colon-separated LANGUAGE, or
// else the first of LC_ALL, LC_MESSAGES and LANG; a variable counts when it names a language
// (see `languageTag`). Empty when none does.
std::vector<std::string> preferredLanguages(
    const EnvironmentLookup& environment = processEnvironmentValue);

// The identifiers to try for one language, most specific first: "de-AT" gives "de-AT" and "de".
std::vector<std::string> lookupChain(std::string_view language);

// The language tag of the user's locale for numbers and dates: the first of LC_ALL, LC_NUMERIC
// and LANG that names a language; absent when none does.
std::optional<std::string> localeTag(
    const EnvironmentLookup& environment = processEnvironmentValue);

}  // namespace platform::foundation::UserLanguages
