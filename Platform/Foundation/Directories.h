#pragma once

#include <sys/types.h>

#include <filesystem>

namespace platform::foundation {

// Creates the directory and any missing parents, each one created here with `mode` whatever the
// process's umask. Directories that exist are left as they are. Throws
// std::filesystem::filesystem_error, also when the path names something other than a directory.
void createDirectories(const std::filesystem::path& directory, mode_t mode);

}  // namespace platform::foundation
