#pragma once

#include <filesystem>
#include <string_view>

namespace ventrella::helper::HelperFiles {

// Creates the directory and any missing parents; each one created here gets mode 0755 whatever
// the process's umask. Existing directories are left as they are. Throws
// std::filesystem::filesystem_error.
void createDirectories(const std::filesystem::path& directory);

// Replaces the file with the text in one step: a reader sees the old file or the new one, never
// part of either. The text is written to a new file beside it (never through a symbolic link)
// and renamed over the path. Throws std::filesystem::filesystem_error.
void writeAtomically(const std::filesystem::path& file, std::string_view text);

}  // namespace ventrella::helper::HelperFiles
