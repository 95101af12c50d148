#pragma once

#include <memory>
#include <string>

#include "Platform/Dispatch/SerialQueue.h"
#include "Ventrella/Hardware/TimeoutScheduling.h"

namespace ventrella::apphardware {

// Timeouts in real time, each a one-shot timer on a queue of the scheduler's own. The queue
// stays as long as a timeout armed on it.
class DispatchTimeoutScheduler final : public TimeoutScheduling {
  public:
    explicit DispatchTimeoutScheduler(
        std::string queueLabel = "com.quillmoor.Ventrella.helper-client.timeouts");

    ScheduledTimeout schedule(double seconds, std::function<void()> fire) override;

  private:
    std::shared_ptr<platform::dispatch::SerialQueue> queue_;
};

}  // namespace ventrella::apphardware
