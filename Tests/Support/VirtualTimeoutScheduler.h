#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "Platform/Dispatch/MainExecutor.h"
#include "Ventrella/Hardware/TimeoutScheduling.h"

namespace ventrella::fakes {

// Timeouts on a main executor's clock: with a ManualExecutor they fire when virtual time reaches
// them, each as a step of the main thread. The executor must outlive the timeouts.
class VirtualTimeoutScheduler final : public apphardware::TimeoutScheduling {
  public:
    explicit VirtualTimeoutScheduler(platform::dispatch::MainExecutor& executor)
        : executor_(executor) {}

    apphardware::ScheduledTimeout schedule(double seconds, std::function<void()> fire) override {
        auto armed = std::make_shared<std::atomic<bool>>(true);
        {
            std::lock_guard lock(mutex_);
            armed_.push_back(armed);
            delays_.push_back(seconds);
        }
        executor_.postAt(executor_.uptime() + seconds, [armed, fire = std::move(fire)] {
            if (armed->exchange(false)) {
                fire();
            }
        });
        return apphardware::ScheduledTimeout([armed] { armed->store(false); });
    }

    // Timeouts neither fired nor cancelled yet.
    std::size_t armedCount() const {
        std::lock_guard lock(mutex_);
        std::size_t count = 0;
        for (const auto& armed : armed_) {
            count += armed->load() ? 1 : 0;
        }
        return count;
    }

    // The delay of every timeout scheduled so far, in order.
    std::vector<double> delays() const {
        std::lock_guard lock(mutex_);
        return delays_;
    }

  private:
    platform::dispatch::MainExecutor& executor_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<std::atomic<bool>>> armed_;
    std::vector<double> delays_;
};

}  // namespace ventrella::fakes
