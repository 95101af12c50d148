#pragma once

#include <filesystem>
#include <optional>

namespace ventrella::security::EnclosingAppLocator {

// The nearest directory named "*.app" (any case) that holds the executable, or
// the path itself when it names one. A relative path is taken against the
// current directory; an empty path has no bundle.
std::optional<std::filesystem::path> appBundleURL(const std::filesystem::path& executableURL);

}  // namespace ventrella::security::EnclosingAppLocator
