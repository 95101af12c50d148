#include <gtest/gtest.h>

#include <functional>

#include "Platform/Security/ImageVerificationCache.h"

namespace {

namespace ps = platform::security;
using Identity = ps::ImageVerificationCache::Identity;

constexpr timespec later{1'000'000, 0};

Identity image(ino_t inode) {
    return Identity{7, inode, 4096, timespec{900'000, 5}, timespec{900'000, 5}};
}

TEST(ImageVerificationCache, RemembersAnImageOnlyWhileEveryPartOfItsIdentityStays) {
    ps::ImageVerificationCache cache;
    cache.remember(image(1), ps::statusSuccess, later);
    cache.remember(image(2), ps::statusSignatureInvalid, later);
    EXPECT_EQ(cache.find(image(1)), ps::statusSuccess);
    EXPECT_EQ(cache.find(image(2)), ps::statusSignatureInvalid);

    const std::function<void(Identity&)> changes[] = {
        [](Identity& i) { ++i.device; },
        [](Identity& i) { i.inode += 100; },
        [](Identity& i) { ++i.size; },
        [](Identity& i) { ++i.modified.tv_nsec; },
        [](Identity& i) { ++i.changed.tv_nsec; },
        [](Identity& i) { ++i.changed.tv_sec; },
    };
    for (const auto& change : changes) {
        auto other = image(1);
        change(other);
        EXPECT_EQ(cache.find(other), std::nullopt);
    }
}

TEST(ImageVerificationCache, ForgetsTheOldestPastItsCapacityAndNeverRemembersAFreshChange) {
    ps::ImageVerificationCache cache(2);
    for (ino_t inode = 1; inode <= 3; ++inode)
        cache.remember(image(inode), ps::statusSuccess, later);
    EXPECT_EQ(cache.find(image(1)), std::nullopt);
    EXPECT_EQ(cache.find(image(2)), ps::statusSuccess);
    EXPECT_EQ(cache.find(image(3)), ps::statusSuccess);

    // Changed in the second before the hashing began: a change in the same tick could hide.
    auto fresh = image(4);
    fresh.changed = timespec{later.tv_sec - 1, 0};
    cache.remember(fresh, ps::statusSuccess, later);
    EXPECT_EQ(cache.find(fresh), std::nullopt);
    fresh.changed = timespec{later.tv_sec - 2, 999'999'999};
    cache.remember(fresh, ps::statusSuccess, later);
    EXPECT_EQ(cache.find(fresh), ps::statusSuccess);
}

}  // namespace
