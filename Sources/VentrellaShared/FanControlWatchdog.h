#pragma once

namespace ventrella::shared {

// Restores Apple Automatic on its own unless it is armed again or cancelled in time.
class FanControlWatchdog {
  public:
    virtual ~FanControlWatchdog() = default;

    // (Re)starts the countdown.
    virtual void arm() = 0;
    virtual void cancel() = 0;
};

}  // namespace ventrella::shared
