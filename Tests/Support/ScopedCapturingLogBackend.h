#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AppLog/LogBackend.h"

namespace ventrella::testsupport {

struct CapturedLogLine {
    std::string subsystem;
    std::string category;
    applog::LogLevel level;
    std::string text;
    bool operator==(const CapturedLogLine&) const = default;
};

// Records every line, every level enabled.
class CapturingLogBackend final : public applog::LogBackend {
  public:
    bool isEnabled(applog::LogLevel) const override { return true; }
    void write(std::string_view subsystem, std::string_view category, applog::LogLevel level,
               std::string_view text) override;

    std::vector<CapturedLogLine> lines() const;
    // The texts of one category, in order.
    std::vector<std::string> texts(std::string_view category) const;
    void clear();

  private:
    mutable std::mutex mutex_;
    std::vector<CapturedLogLine> lines_;
};

// Installs a capturing backend for the guard's lifetime and restores the previous one.
class ScopedCapturingLogBackend {
  public:
    ScopedCapturingLogBackend();
    ~ScopedCapturingLogBackend();
    ScopedCapturingLogBackend(const ScopedCapturingLogBackend&) = delete;
    ScopedCapturingLogBackend& operator=(const ScopedCapturingLogBackend&) = delete;

    CapturingLogBackend& backend() { return *backend_; }
    std::vector<CapturedLogLine> lines() const { return backend_->lines(); }
    std::vector<std::string> texts(std::string_view category) const {
        return backend_->texts(category);
    }
    void clear() { backend_->clear(); }

  private:
    std::shared_ptr<CapturingLogBackend> backend_;
    std::shared_ptr<applog::LogBackend> previous_;
};

}  // namespace ventrella::testsupport
