#include "VentrellaHelper/HelperFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "Platform/Foundation/WholeFile.h"

namespace ventrella::helper::HelperFiles {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what, const fs::path& path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

}  // namespace

void createDirectories(const fs::path& directory) {
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
        if (::mkdir(it->c_str(), 0755) != 0) {
            if (errno == EEXIST) {
                continue;  // created meanwhile by someone else: not ours to change
            }
            fail("cannot create directory", *it, errno);
        }
        // mkdir applies the umask; the helper's directories must be 0755 regardless.
        if (::chmod(it->c_str(), 0755) != 0) {
            fail("cannot set directory permissions", *it, errno);
        }
    }
    if (!fs::is_directory(directory)) {
        fail("not a directory", directory, ENOTDIR);
    }
}

void writeAtomically(const fs::path& file, std::string_view text) {
    platform::foundation::writeFileAtomically(file, text);
}

}  // namespace ventrella::helper::HelperFiles
