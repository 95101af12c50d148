#include "VentrellaHelper/HelperWatchdog.h"

namespace ventrella::helper {

HelperWatchdog::HelperWatchdog(std::unique_ptr<WatchdogTimer> timer, double timeoutSeconds)
    : timer_(std::move(timer)), timeoutSeconds_(timeoutSeconds) {}

void HelperWatchdog::arm() {
    timer_->cancel();
    // Held weakly: a firing that outlives the watchdog does nothing.
    timer_->schedule(timeoutSeconds_, [weak = weak_from_this()] {
        if (auto self = weak.lock(); self && self->onFire_) {
            self->onFire_();
        }
    });
}

void HelperWatchdog::cancel() {
    timer_->cancel();
}

}  // namespace ventrella::helper
