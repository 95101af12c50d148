#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Foundation/StringsTable.h"

namespace ventrella::tests {

// Where the language tables and their fixtures are, in the sources and in the built bundle.
namespace shipped {

std::filesystem::path sourceRoot();
// Resources/Localization in the sources.
std::filesystem::path sourceTables();
// Contents/Resources of the built application bundle.
std::filesystem::path bundleResources();
// Tests/Fixtures/Localization: "<lang>.glossary" and "<lang>.same".
std::filesystem::path fixtures();

// The language folders ("de", "pt-BR") below `folder`, sorted, without ".lproj".
std::vector<std::string> languagesIn(const std::filesystem::path& folder);

// The languages of the built bundle other than English, sorted.
std::vector<std::string> translations();

std::filesystem::path bundledTable(const std::string& language);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> read(const std::filesystem::path& path);

}  // namespace shipped

}  // namespace ventrella::tests
