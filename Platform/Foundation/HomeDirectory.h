#pragma once

#include <filesystem>

namespace platform::foundation {

// The user's home: $HOME when it is an absolute path, else the home of the user database's
// entry for the real user. Throws std::runtime_error when neither names one.
std::filesystem::path homeDirectory();

}  // namespace platform::foundation
