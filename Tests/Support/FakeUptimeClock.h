#pragma once

#include <atomic>

#include "Platform/Foundation/UptimeClock.h"

namespace ventrella::fakes {

// Uptime that moves only when the test says so.
class FakeUptimeClock : public platform::foundation::UptimeClock {
  public:
    explicit FakeUptimeClock(double start = 1000.0) : now_(start) {}

    double uptimeSeconds() const override { return now_.load(); }
    void set(double seconds) { now_.store(seconds); }
    void advance(double seconds) { now_.store(now_.load() + seconds); }

  private:
    std::atomic<double> now_;
};

}  // namespace ventrella::fakes
