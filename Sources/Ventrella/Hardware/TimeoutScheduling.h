#pragma once

#include <functional>
#include <utility>

namespace ventrella::apphardware {

// An armed timeout. Cancelling it, or letting it go, guarantees that its handler does not start
// afterwards; a handler already running is waited for.
class ScheduledTimeout {
  public:
    ScheduledTimeout() = default;
    explicit ScheduledTimeout(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    ScheduledTimeout(ScheduledTimeout&& other) noexcept
        : cancel_(std::exchange(other.cancel_, {})) {}
    ScheduledTimeout& operator=(ScheduledTimeout&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    ScheduledTimeout(const ScheduledTimeout&) = delete;
    ScheduledTimeout& operator=(const ScheduledTimeout&) = delete;
    ~ScheduledTimeout() { cancel(); }

    void cancel() {
        if (auto cancel = std::exchange(cancel_, {})) {
            cancel();
        }
    }

  private:
    std::function<void()> cancel_;
};

// Arms the timeouts of requests, so that tests can run them on virtual time.
class TimeoutScheduling {
  public:
    virtual ~TimeoutScheduling() = default;

    // Calls fire once, seconds from now, never inline and never under the caller's locks.
    virtual ScheduledTimeout schedule(double seconds, std::function<void()> fire) = 0;
};

}  // namespace ventrella::apphardware
