#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace platform::foundation {

// The whole content of a regular file of at most `maximumSize` bytes; absent when the file is
// missing, not a regular file, larger (also when it grows while being read) or unreadable.
std::optional<std::string> readBoundedFile(const std::filesystem::path& path,
                                           std::size_t maximumSize);

}  // namespace platform::foundation
