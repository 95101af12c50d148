#include "AppLog/LogBackend.h"

#include <mutex>

#include "AppLog/SpdlogLogBackend.h"

namespace ventrella::applog {

std::string_view logLevelName(LogLevel level) {
    switch (level) {
        case LogLevel::debug:
            return "debug";
        case LogLevel::info:
            return "info";
        case LogLevel::notice:
            return "notice";
        case LogLevel::error:
            return "error";
        case LogLevel::fault:
            return "fault";
    }
    return "unknown";
}

namespace {

struct BackendSlot {
    std::mutex mutex;
    std::shared_ptr<LogBackend> backend;
};

BackendSlot& backendSlot() {
    static BackendSlot slot;
    return slot;
}

}  // namespace

std::shared_ptr<LogBackend> currentLogBackend() {
    auto& slot = backendSlot();
    std::lock_guard lock(slot.mutex);
    if (!slot.backend) {
        slot.backend = SpdlogLogBackend::standardError();
    }
    return slot.backend;
}

std::shared_ptr<LogBackend> installLogBackend(std::shared_ptr<LogBackend> backend) {
    auto& slot = backendSlot();
    std::lock_guard lock(slot.mutex);
    auto previous = std::move(slot.backend);
    slot.backend = std::move(backend);
    return previous;
}

}  // namespace ventrella::applog
