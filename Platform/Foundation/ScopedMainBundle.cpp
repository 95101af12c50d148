#include "Platform/Foundation/ScopedMainBundle.h"

#include <mutex>

namespace platform::foundation {

namespace {

struct MainBundleChoice {
    std::mutex lock;
    std::optional<std::filesystem::path> path;
};

// Never freed, so that a lookup on another thread during exit still finds it.
MainBundleChoice& choice() {
    static auto* instance = new MainBundleChoice();
    return *instance;
}

std::optional<std::filesystem::path> exchange(std::optional<std::filesystem::path> path) {
    auto& slot = choice();
    const std::lock_guard guard(slot.lock);
    std::swap(slot.path, path);
    return path;
}

}  // namespace

ScopedMainBundle::ScopedMainBundle(std::filesystem::path bundlePath)
    : previous_(exchange(std::move(bundlePath))) {}

ScopedMainBundle::~ScopedMainBundle() {
    exchange(std::move(previous_));
}

std::optional<std::filesystem::path> ScopedMainBundle::current() {
    auto& slot = choice();
    const std::lock_guard guard(slot.lock);
    return slot.path;
}

}  // namespace platform::foundation
