#include "Support/ScopedCapturingLogBackend.h"

namespace ventrella::testsupport {

void CapturingLogBackend::write(std::string_view subsystem, std::string_view category,
                                applog::LogLevel level, std::string_view text) {
    std::lock_guard lock(mutex_);
    lines_.push_back({std::string(subsystem), std::string(category), level, std::string(text)});
}

std::vector<CapturedLogLine> CapturingLogBackend::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<std::string> CapturingLogBackend::texts(std::string_view category) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> result;
    for (const auto& line : lines_) {
        if (line.category == category) {
            result.push_back(line.text);
        }
    }
    return result;
}

void CapturingLogBackend::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

ScopedCapturingLogBackend::ScopedCapturingLogBackend()
    : backend_(std::make_shared<CapturingLogBackend>()),
      previous_(applog::installLogBackend(backend_)) {}

ScopedCapturingLogBackend::~ScopedCapturingLogBackend() {
    applog::installLogBackend(std::move(previous_));
}

}  // namespace ventrella::testsupport
