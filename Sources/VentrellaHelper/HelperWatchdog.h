#pragma once

#include <functional>
#include <memory>

#include "VentrellaHelper/WatchdogTimer.h"
#include "VentrellaShared/FanControlWatchdog.h"

namespace ventrella::helper {

// Restores Apple Automatic unless armed again or cancelled within the timeout. Used only from
// the controller's queue, where its timer fires too.
class HelperWatchdog final : public shared::FanControlWatchdog,
                             public std::enable_shared_from_this<HelperWatchdog> {
  public:
    HelperWatchdog(std::unique_ptr<WatchdogTimer> timer, double timeoutSeconds);

    // Run when the timer fires.
    void setOnFire(std::function<void()> onFire) { onFire_ = std::move(onFire); }

    void arm() override;
    void cancel() override;

    double timeoutSeconds() const { return timeoutSeconds_; }

  private:
    std::unique_ptr<WatchdogTimer> timer_;
    double timeoutSeconds_;
    std::function<void()> onFire_;
};

}  // namespace ventrella::helper
