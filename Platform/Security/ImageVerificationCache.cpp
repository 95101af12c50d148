#include "Platform/Security/ImageVerificationCache.h"

#include <algorithm>

namespace platform::security {

namespace {

bool sameTime(const timespec& left, const timespec& right) {
    return left.tv_sec == right.tv_sec && left.tv_nsec == right.tv_nsec;
}

}  // namespace

bool ImageVerificationCache::Identity::operator==(const Identity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           sameTime(modified, other.modified) && sameTime(changed, other.changed);
}

ImageVerificationCache::Identity ImageVerificationCache::identityOf(const struct stat& info) {
    return Identity{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
}

ImageVerificationCache::ImageVerificationCache(std::size_t capacity)
    : capacity_(std::max<std::size_t>(capacity, 1)) {}

std::optional<OSStatus> ImageVerificationCache::find(const Identity& image) const {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const auto& entry) { return entry.first == image; });
    if (found == entries_.end())
        return std::nullopt;
    return found->second;
}

void ImageVerificationCache::remember(const Identity& image, OSStatus outcome,
                                      timespec hashingStarted) {
    // Changed too recently: a later change could keep this change time.
    if (image.changed.tv_sec >= hashingStarted.tv_sec - 1)
        return;
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [&](const auto& entry) { return entry.first == image; });
    if (found != entries_.end())
        entries_.erase(found);
    if (entries_.size() == capacity_)
        entries_.pop_front();
    entries_.emplace_back(image, outcome);
}

}  // namespace platform::security
