#pragma once

#include <functional>
#include <memory>

#include "Platform/Dispatch/OneShotTimer.h"
#include "Platform/Dispatch/SerialQueue.h"

namespace ventrella::helper {

// The one-shot timer under the watchdog; the handler runs on the controller's queue.
class WatchdogTimer {
  public:
    virtual ~WatchdogTimer() = default;
    // Replaces any earlier firing.
    virtual void schedule(double delaySeconds, std::function<void()> handler) = 0;
    // Once it returns, no earlier firing starts.
    virtual void cancel() = 0;
};

// Makes the watchdog's timer for the controller's queue.
using WatchdogTimerFactory =
    std::function<std::unique_ptr<WatchdogTimer>(platform::dispatch::SerialQueue& queue)>;

// A real timer on the queue.
class QueueWatchdogTimer final : public WatchdogTimer {
  public:
    explicit QueueWatchdogTimer(platform::dispatch::SerialQueue& queue) : timer_(queue) {}

    void schedule(double delaySeconds, std::function<void()> handler) override {
        timer_.schedule(delaySeconds, std::move(handler));
    }
    void cancel() override { timer_.cancel(); }

    static WatchdogTimerFactory factory() {
        return [](platform::dispatch::SerialQueue& queue) {
            return std::make_unique<QueueWatchdogTimer>(queue);
        };
    }

  private:
    platform::dispatch::OneShotTimer timer_;
};

}  // namespace ventrella::helper
