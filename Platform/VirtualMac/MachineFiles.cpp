#include "Platform/VirtualMac/MachineFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "Platform/Foundation/Directories.h"
#include "Platform/Foundation/ScopedDescriptor.h"

namespace virtualmac {

namespace fs = std::filesystem;
using platform::foundation::ScopedDescriptor;

namespace {

constexpr mode_t kFolderMode = 0755;
constexpr mode_t kLogMode = 0644;

}  // namespace

void layOutFolder(const fs::path& folder) {
    platform::foundation::createDirectories(folder, kFolderMode);
    const ScopedDescriptor descriptor(
        ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    int error = 0;
    if (descriptor.get() < 0 || ::fstat(descriptor.get(), &info) != 0) {
        error = errno;
    } else if (info.st_uid != ::geteuid()) {
        error = EPERM;  // someone else's folder: whoever owns it could swap what lies in it
    } else if (::fchmod(descriptor.get(), kFolderMode) != 0) {
        error = errno;
    }
    if (error != 0) {
        throw fs::filesystem_error("cannot lay out the folder", folder,
                                   std::error_code(error, std::generic_category()));
    }
}

int openLogForAppending(const fs::path& file) {
    ScopedDescriptor descriptor(
        ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
               kLogMode));
    if (descriptor.get() < 0) {
        return -1;
    }
    struct stat info {};
    if (::fstat(descriptor.get(), &info) != 0) {
        return -1;
    }
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_nlink != 1) {
        errno = EPERM;
        return -1;
    }
    if (::fchmod(descriptor.get(), kLogMode) != 0) {
        return -1;
    }
    // Writes to a regular file never block; the flag only kept a FIFO from stalling the open.
    const int flags = ::fcntl(descriptor.get(), F_GETFL);
    if (flags < 0 || ::fcntl(descriptor.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        return -1;
    }
    return descriptor.release();
}

}  // namespace virtualmac
