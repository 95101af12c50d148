#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

#include "Platform/Security/SecurityStatus.h"

namespace platform::security {

// What hashing an image against its signature found, remembered by the file's identity, so
// that an image seen again (a client that reconnects, a program that connects over and over)
// is not read again. Whatever changes a file's content changes its change time, which only the
// kernel sets; an image changed in the second before it was hashed is not remembered, since a
// change within the same tick of the file system's clock may leave that time as it was. Holds
// at most `capacity` images, forgetting the oldest first. Safe from any thread.
class ImageVerificationCache {
  public:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};

        bool operator==(const Identity& other) const;
    };
    static Identity identityOf(const struct stat& info);

    explicit ImageVerificationCache(std::size_t capacity = 32);
    ImageVerificationCache(const ImageVerificationCache&) = delete;
    ImageVerificationCache& operator=(const ImageVerificationCache&) = delete;

    std::optional<OSStatus> find(const Identity& image) const;
    // hashingStarted: the real-time clock (the clock of file times) when the hashing began.
    void remember(const Identity& image, OSStatus outcome, timespec hashingStarted);

  private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;
    std::deque<std::pair<Identity, OSStatus>> entries_;
};

}  // namespace platform::security
