#include "Platform/Foundation/Directories.h"

#include <sys/stat.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace platform::foundation {

namespace fs = std::filesystem;

void createDirectories(const fs::path& directory, mode_t mode) {
    const auto fail = [](const char* what, const fs::path& path, int error) {
        throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
    };
    std::vector<fs::path> missing;
    for (fs::path current = directory; !current.empty(); current = current.parent_path()) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) == 0) {
            break;
        }
        missing.push_back(current);
        if (current == current.parent_path()) {
            break;
        }
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        if (::mkdir(it->c_str(), mode) != 0) {
            if (errno == EEXIST) {
                continue;  // created meanwhile by someone else: not ours to change
            }
            fail("cannot create directory", *it, errno);
        }
        // mkdir applies the umask.
        if (::chmod(it->c_str(), mode) != 0) {
            fail("cannot set directory permissions", *it, errno);
        }
    }
    std::error_code error;
    if (!fs::is_directory(directory, error)) {
        fail("not a directory", directory, ENOTDIR);
    }
}

}  // namespace platform::foundation
