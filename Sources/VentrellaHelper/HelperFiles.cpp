#include "VentrellaHelper/HelperFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

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
    std::string pattern = (file.parent_path() / ("." + file.filename().string() + ".XXXXXX"));
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        fail("cannot create temporary file", pattern, errno);
    }
    const fs::path temporary = pattern;
    auto abandon = [&](const char* what, int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        fail(what, temporary, error);
    };
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t result = ::write(fd, text.data() + written, text.size() - written);
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result <= 0) {
            abandon("cannot write file", result < 0 ? errno : EIO);
        }
        written += static_cast<std::size_t>(result);
    }
    if (::fsync(fd) != 0) {
        abandon("cannot write file", errno);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail("cannot write file", temporary, error);
    }
    // rename replaces a symbolic link at the path itself, never the file it points to.
    if (::rename(temporary.c_str(), file.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        fail("cannot replace file", file, error);
    }
}

}  // namespace ventrella::helper::HelperFiles
