#include "Platform/IOKit/HIDBackend.h"

#include <mutex>

#include "Platform/IOKit/SocketBackend.h"

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
    // Without an installed system the calls reach the simulated machine's process.
    return current.backend ? current.backend : machineSocketBackend();
}

std::shared_ptr<HIDBackend> installHIDBackend(std::shared_ptr<HIDBackend> backend) {
    auto& current = slot();
    std::lock_guard lock(current.mutex);
    auto previous = std::move(current.backend);
    current.backend = std::move(backend);
    return previous;
}

}  // namespace platform::iokit
