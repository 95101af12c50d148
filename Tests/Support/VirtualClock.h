#pragma once

#include <charconv>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "Support/CallLog.h"

namespace ventrella::fakes {

// Virtual seconds. `wait` advances the time instead of sleeping and, when a log is given,
// records "clock.wait(<seconds>)". `advance` jumps the time, e.g. from a fake's call hook.
// The functions handed out refer to this object, which must outlive their users.
class VirtualClock {
  public:
    explicit VirtualClock(double start = 1000.0, std::shared_ptr<CallLog> log = nullptr)
        : time_(start), log_(std::move(log)) {}

    double now() const { return time_; }
    void advance(double seconds) { time_ += seconds; }

    void wait(double seconds) {
        if (log_) {
            char text[32];
            auto end = std::to_chars(text, text + sizeof text, seconds).ptr;
            log_->record("clock.wait(" + std::string(text, end) + ")");
        }
        time_ += seconds;
    }

    std::function<double()> nowFunction() {
        return [this] { return now(); };
    }
    std::function<void(double)> waitFunction() {
        return [this](double seconds) { wait(seconds); };
    }

  private:
    double time_;
    std::shared_ptr<CallLog> log_;
};

}  // namespace ventrella::fakes
