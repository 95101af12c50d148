#include "Platform/Foundation/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "Platform/Foundation/ScopedDescriptor.h"

namespace platform::foundation {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what, const fs::path& path, int error) {
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

}  // namespace

std::optional<std::string> readWholeFile(const fs::path& file, std::size_t maximumBytes) {
    // Non-blocking, so that opening a FIFO planted at the path does not wait for a writer.
    ScopedDescriptor descriptor(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (descriptor.get() < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        fail("cannot open file", file, errno);
    }
    struct stat info {};
    if (::fstat(descriptor.get(), &info) != 0) {
        fail("cannot examine file", file, errno);
    }
    if (!S_ISREG(info.st_mode)) {
        fail("not a regular file", file, EINVAL);
    }
    if (static_cast<std::uintmax_t>(info.st_size) > maximumBytes) {
        fail("file too large", file, EFBIG);
    }
    // One byte more than allowed tells a file that grew since it was examined.
    std::string bytes(maximumBytes + 1, '\0');
    std::size_t total = 0;
    while (total < bytes.size()) {
        const ssize_t count = ::read(descriptor.get(), bytes.data() + total, bytes.size() - total);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            fail("cannot read file", file, errno);
        }
        if (count == 0) {
            break;
        }
        total += static_cast<std::size_t>(count);
    }
    if (total > maximumBytes) {
        fail("file too large", file, EFBIG);
    }
    bytes.resize(total);
    return bytes;
}

void writeFileAtomically(const fs::path& file, std::string_view bytes, mode_t mode) {
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
    while (written < bytes.size()) {
        const ssize_t result = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (result < 0 && errno == EINTR) {
            continue;
        }
        if (result <= 0) {
            abandon("cannot write file", result < 0 ? errno : EIO);
        }
        written += static_cast<std::size_t>(result);
    }
    // mkostemp creates the file 0600; anything else is set explicitly, whatever the umask.
    if (mode != 0600 && ::fchmod(fd, mode) != 0) {
        abandon("cannot set file permissions", errno);
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

}  // namespace platform::foundation
