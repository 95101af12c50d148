#pragma once

namespace platform::foundation {

// Seconds since the machine started, for measuring intervals that must not follow changes of
// the wall clock. Callable from any thread.
class UptimeClock {
  public:
    virtual ~UptimeClock() = default;
    virtual double uptimeSeconds() const = 0;
};

}  // namespace platform::foundation
