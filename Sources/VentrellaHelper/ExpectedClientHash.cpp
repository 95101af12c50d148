#include "VentrellaHelper/ExpectedClientHash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "VentrellaSecurity/UTF8Text.h"

namespace ventrella::helper {

using security::ClientAuthorizationFailure;
using HashResult = security::Result<std::string, ClientAuthorizationFailure>;

ExpectedClientHash::ExpectedClientHash(std::filesystem::path path, uid_t requiredOwner)
    : path_(std::move(path)), requiredOwner_(requiredOwner) {}

HashResult ExpectedClientHash::operator()() const {
    const auto unavailable =
        HashResult::failure(ClientAuthorizationFailure::expectedHashUnavailable);
    // O_NOFOLLOW refuses a link; O_NONBLOCK keeps a FIFO from stalling the open.
    const int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return unavailable;
    }
    struct stat info {};
    std::string text;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == requiredOwner_ &&
              (info.st_mode & (S_IWGRP | S_IWOTH)) == 0 &&
              info.st_size <= static_cast<off_t>(maximumFileBytes);
    if (ok) {
        char buffer[maximumFileBytes + 1];
        std::size_t total = 0;
        while (total < sizeof buffer) {
            const ssize_t count = ::read(fd, buffer + total, sizeof buffer - total);
            if (count < 0 && errno == EINTR) {
                continue;
            }
            if (count < 0) {
                ok = false;
                break;
            }
            if (count == 0) {
                break;
            }
            total += static_cast<std::size_t>(count);
        }
        // Grown past the limit since fstat: refused as well.
        ok = ok && total <= maximumFileBytes;
        text.assign(buffer, total);
    }
    ::close(fd);
    // The file is read as UTF-8 text: bytes that are not UTF-8 cannot be read as such.
    if (!ok || !security::UTF8Text::isValid(text)) {
        return unavailable;
    }
    return HashResult::success(std::move(text));
}

}  // namespace ventrella::helper
