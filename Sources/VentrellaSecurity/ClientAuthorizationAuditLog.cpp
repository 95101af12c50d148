#include "VentrellaSecurity/ClientAuthorizationAuditLog.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "Platform/Foundation/ScopedDescriptor.h"

namespace ventrella::security {
namespace {

using platform::foundation::ScopedDescriptor;

constexpr mode_t fileMode = 0644;
constexpr mode_t lockMode = 0600;

// The writers' lock, taken without waiting: a lock file of the required owner that nobody else
// can open. One of another owner or kind, or reached through a link, is never held.
class FileLock {
  public:
    FileLock(const std::filesystem::path& path, std::uint32_t requiredOwnerUID)
        : file_(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                       lockMode)) {
        struct stat info {};
        held_ = file_.get() >= 0 && ::fstat(file_.get(), &info) == 0 && S_ISREG(info.st_mode) &&
                info.st_uid == requiredOwnerUID && ::fchmod(file_.get(), lockMode) == 0 &&
                ::flock(file_.get(), LOCK_EX | LOCK_NB) == 0;
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock() {
        if (held_)
            ::flock(file_.get(), LOCK_UN);
    }
    bool held() const { return held_; }

  private:
    ScopedDescriptor file_;
    bool held_ = false;
};

// Opens for appending without following a link and without blocking on a
// FIFO; reports whether this call created the file.
int openForAppend(const std::filesystem::path& path, bool& created) {
    constexpr int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK;
    created = false;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT)
            return fd;
        fd = ::open(path.c_str(), flags | O_CREAT | O_EXCL, fileMode);
        if (fd >= 0) {
            created = true;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

}  // namespace

ClientAuthorizationAuditLog::ClientAuthorizationAuditLog(std::filesystem::path fileURL,
                                                         std::int64_t maximumFileBytes,
                                                         std::uint32_t requiredOwnerUID, Clock now)
    : fileURL_(std::move(fileURL)),
      lockURL_(fileURL_.string() + ".lock"),
      maximumFileBytes_(std::max(maximumFileBytes, smallestMaximumFileBytes)),
      requiredOwnerUID_(requiredOwnerUID),
      now_(std::move(now)) {}

bool ClientAuthorizationAuditLog::record(ClientAuthorizationFailure failure) {
    auto line = ClientAuthorizationAuditEntry{now_(), failure}.encoded();
    if (!line)
        return false;
    line->push_back('\n');
    if (static_cast<std::int64_t>(line->size()) > maximumFileBytes_)
        return false;
    const std::lock_guard guard(lock_);
    // The same reason in the same second says nothing new.
    auto& last = lastLineWritten_[failure];
    if (last == *line)
        return true;
    if (!appendLocked(*line))
        return false;
    last = *line;
    return true;
}

bool ClientAuthorizationAuditLog::appendLocked(const std::string& line) {
    // Another writer holds the lock: drop this entry rather than wait.
    const FileLock fileLock(lockURL_, requiredOwnerUID_);
    if (!fileLock.held())
        return false;
    bool created = false;
    const ScopedDescriptor file(openForAppend(fileURL_, created));
    if (file.get() < 0)
        return false;

    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != requiredOwnerUID_)
        return false;
    // A new file is readable by everyone whatever the process's umask.
    if (created)
        ::fchmod(file.get(), fileMode);

    off_t previousSize = info.st_size;
    if (static_cast<std::int64_t>(previousSize) + static_cast<std::int64_t>(line.size()) >
        maximumFileBytes_) {
        if (::ftruncate(file.get(), 0) != 0)
            return false;
        previousSize = 0;
    }

    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t count = ::write(file.get(), line.data() + written, line.size() - written);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 1) {
            // Take back the fragment so that it cannot fuse with the next line.
            (void)::ftruncate(file.get(), previousSize);
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    return true;
}

std::optional<ClientAuthorizationAuditEntry> ClientAuthorizationAuditLog::latestEntry(
    const std::filesystem::path& fileURL, std::int64_t maximumReadBytes,
    std::uint32_t requiredOwnerUID) {
    // The checks apply to the file actually opened, not to whatever the path names later.
    const ScopedDescriptor file(
        ::open(fileURL.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0)
        return std::nullopt;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) ||
        info.st_uid != requiredOwnerUID)
        return std::nullopt;

    const off_t end = ::lseek(file.get(), 0, SEEK_END);
    const std::int64_t size = end < 0 ? 0 : static_cast<std::int64_t>(end);
    const std::int64_t window = std::max(maximumReadBytes, smallestMaximumFileBytes);
    const std::int64_t start = size >= window ? size - window : 0;

    // Never more than the window, even when the file grows meanwhile.
    std::vector<char> bytes(static_cast<std::size_t>(std::min(window, size - start)));
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count =
            ::pread(file.get(), bytes.data() + filled, bytes.size() - filled,
                    static_cast<off_t>(start + static_cast<std::int64_t>(filled)));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return std::nullopt;
        if (count == 0)
            break;
        filled += static_cast<std::size_t>(count);
    }
    if (filled == 0)
        return std::nullopt;

    const std::string_view text(bytes.data(), filled);
    std::size_t pieceEnd = text.size();
    while (pieceEnd > 0) {
        const std::size_t newline = text.rfind('\n', pieceEnd - 1);
        const std::size_t pieceStart = newline == std::string_view::npos ? 0 : newline + 1;
        if (pieceStart < pieceEnd) {
            if (auto entry = ClientAuthorizationAuditEntry::decode(
                    text.substr(pieceStart, pieceEnd - pieceStart)))
                return entry;
        }
        if (newline == std::string_view::npos)
            break;
        pieceEnd = newline;
    }
    return std::nullopt;
}

}  // namespace ventrella::security
