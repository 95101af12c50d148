#pragma once

#include <memory>
#include <utility>

#include "Support/CallLog.h"
#include "VentrellaShared/FanControlWatchdog.h"

namespace ventrella::fakes {

// Records "watchdog.arm" and "watchdog.cancel"; `armed` tells whether the last call was an arm.
class FakeWatchdog : public shared::FanControlWatchdog {
  public:
    explicit FakeWatchdog(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

    bool armed = false;

    void arm() override {
        log_->record("watchdog.arm");
        armed = true;
    }

    void cancel() override {
        log_->record("watchdog.cancel");
        armed = false;
    }

  private:
    std::shared_ptr<CallLog> log_;
};

}  // namespace ventrella::fakes
