#pragma once

#include "Platform/Dispatch/SerialQueue.h"

#include <functional>
#include <memory>

namespace platform::dispatch {

// A timer that fires once, on its queue. Scheduling again replaces the previous
// firing; a cancelled or replaced firing never runs, even when its expiry has
// already passed and its completion is waiting on the queue.
//
// schedule() and cancel() may be called from any thread. Once cancel() (or a
// replacing schedule()) has returned, the previous handler does not start; if it
// was running on another thread, the call waits for it to finish. The handler
// may itself schedule or cancel the timer, or destroy it.
//
// The queue must outlive the timer.
class OneShotTimer {
  public:
    explicit OneShotTimer(SerialQueue& queue);
    ~OneShotTimer();

    OneShotTimer(const OneShotTimer&) = delete;
    OneShotTimer& operator=(const OneShotTimer&) = delete;

    // Fires handler once, delaySeconds from now (zero or negative: as soon as the
    // queue gets to it).
    void schedule(double delaySeconds, std::function<void()> handler);

    void cancel();

    // True between schedule() and the firing or cancellation.
    bool isScheduled() const;

  private:
    struct State;

    SerialQueue& queue_;
    std::shared_ptr<State> state_;
};

}  // namespace platform::dispatch
