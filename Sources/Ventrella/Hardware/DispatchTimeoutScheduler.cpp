#include "Ventrella/Hardware/DispatchTimeoutScheduler.h"

#include <utility>

#include "Platform/Dispatch/OneShotTimer.h"

namespace ventrella::apphardware {

DispatchTimeoutScheduler::DispatchTimeoutScheduler(std::string queueLabel)
    : queue_(std::make_shared<platform::dispatch::SerialQueue>(std::move(queueLabel))) {}

ScheduledTimeout DispatchTimeoutScheduler::schedule(double seconds, std::function<void()> fire) {
    auto timer = std::make_shared<platform::dispatch::OneShotTimer>(*queue_);
    timer->schedule(seconds, std::move(fire));
    return ScheduledTimeout([queue = queue_, timer = std::move(timer)]() mutable {
        // The timer before its queue, which may go with it.
        timer->cancel();
        timer.reset();
        queue.reset();
    });
}

}  // namespace ventrella::apphardware
