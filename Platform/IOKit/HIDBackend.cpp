#include "Platform/IOKit/HIDBackend.h"

#include <mutex>

namespace platform::iokit {

namespace {

struct HIDSlot {
    std::mutex mutex;
    std::shared_ptr<HIDBackend> backend;
};

HIDSlot& slot() {
    static HIDSlot instance;
    return instance;
}

}  // namespace

std::shared_ptr<HIDBackend> currentHIDBackend() {
    auto& current = slot();
    std::lock_guard lock(current.mutex);
    return current.backend;
}

std::shared_ptr<HIDBackend> installHIDBackend(std::shared_ptr<HIDBackend> backend) {
    auto& current = slot();
    std::lock_guard lock(current.mutex);
    auto previous = std::move(current.backend);
    current.backend = std::move(backend);
    return previous;
}

}  // namespace platform::iokit
