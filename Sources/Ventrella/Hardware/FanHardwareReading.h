#pragma once

#include "Ventrella/Core/SensorSnapshot.h"
#include "Ventrella/Hardware/HardwarePreflight.h"

namespace ventrella::apphardware {

// The model's way to read the hardware without privileges. Both calls block on hardware I/O,
// so the model makes them off its main executor; implementations are safe to call from any
// thread.
class FanHardwareReading {
  public:
    virtual ~FanHardwareReading() = default;

    // Once at start-up: what can be monitored and controlled on this Mac.
    virtual HardwarePreflight preflight() = 0;
    // Once per monitoring cycle: the CPU and GPU temperatures and the fans.
    virtual core::SensorSnapshot snapshot() = 0;
};

}  // namespace ventrella::apphardware
