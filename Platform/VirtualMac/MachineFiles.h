#pragma once

#include <filesystem>

namespace virtualmac {

// The folders and files the machine lays out under its root get their mode and owner
// explicitly, whatever the umask: the machine's user (root) alone may change them, every user
// may read them.

// Creates the folder and any missing parents (each 0755) and makes sure the folder itself is a
// folder of the machine's user, not a link, with mode 0755. Throws
// std::filesystem::filesystem_error.
void layOutFolder(const std::filesystem::path& folder);

// Opens a log file for appending, creating it 0644: never through a link, and only a regular
// file of the machine's user with no other name, which then gets mode 0644 whatever it had.
// The descriptor (close-on-exec), or -1 with errno.
int openLogForAppending(const std::filesystem::path& file);

}  // namespace virtualmac
