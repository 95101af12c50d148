#pragma once

#include <filesystem>
#include <string_view>

namespace platform::foundation {

// The directory that stands for the Mac's filesystem root. It is read from
// VIRTUAL_MAC_ROOT on every call so that tests and the demo can point each
// process at a private machine; unset or empty, it is "/".
std::filesystem::path platformRoot();

// Resolves an absolute macOS path ("/Library/Application Support/...") under
// the platform root. Relative paths are resolved against the root as well.
std::filesystem::path resolveMacPath(std::string_view macPath);

}  // namespace platform::foundation
