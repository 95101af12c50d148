#pragma once

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::foundation {

// The bytes of a regular file, read in one go. Nothing when the file does not exist. Throws
// std::filesystem::filesystem_error when it exists but cannot be read, is not a regular file
// (a FIFO or device is never opened for reading in a way that could block) or holds more than
// `maximumBytes`.
std::optional<std::string> readWholeFile(const std::filesystem::path& file,
                                         std::size_t maximumBytes);

// Replaces the file with the bytes in one step: a reader sees the old file or the new one,
// never part of either. The bytes go to a new file beside it (never through a symbolic link),
// are flushed to disk and renamed over the path; on any failure the old file stays as it was
// and nothing is left behind. The new file gets `mode`. Throws
// std::filesystem::filesystem_error.
void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                         mode_t mode = 0600);

}  // namespace platform::foundation
