#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "Platform/Dispatch/SerialQueue.h"
#include "VentrellaHelper/WatchdogTimer.h"

namespace ventrella::helper::testing {

// Watchdog timers on virtual seconds. advance() fires every timer that falls due, in deadline
// order, on the queue it belongs to, and waits for each handler (which may schedule again).
class VirtualTimers {
  public:
    WatchdogTimerFactory factory() {
        return [this](platform::dispatch::SerialQueue& queue) {
            return std::make_unique<Timer>(*this, queue);
        };
    }

    double now() const {
        std::lock_guard lock(mutex_);
        return now_;
    }

    std::size_t pendingCount() const {
        std::lock_guard lock(mutex_);
        return entries_.size();
    }

    std::optional<double> nextDeadline() const {
        std::lock_guard lock(mutex_);
        std::optional<double> earliest;
        for (const auto& [id, entry] : entries_) {
            if (!earliest || entry.deadline < *earliest)
                earliest = entry.deadline;
        }
        return earliest;
    }

    std::size_t firedCount() const {
        std::lock_guard lock(mutex_);
        return fired_;
    }

    void advance(double seconds) {
        double target;
        {
            std::lock_guard lock(mutex_);
            target = now_ + seconds;
        }
        for (;;) {
            std::function<void()> handler;
            platform::dispatch::SerialQueue* queue = nullptr;
            {
                std::lock_guard lock(mutex_);
                auto due = entries_.end();
                for (auto it = entries_.begin(); it != entries_.end(); ++it) {
                    if (it->second.deadline <= target &&
                        (due == entries_.end() || it->second.deadline < due->second.deadline)) {
                        due = it;
                    }
                }
                if (due == entries_.end()) {
                    now_ = target;
                    return;
                }
                now_ = due->second.deadline;
                handler = std::move(due->second.handler);
                queue = due->second.queue;
                entries_.erase(due);
                ++fired_;
            }
            queue->sync(handler);
        }
    }

  private:
    struct Entry {
        double deadline;
        std::function<void()> handler;
        platform::dispatch::SerialQueue* queue;
    };

    class Timer final : public WatchdogTimer {
      public:
        Timer(VirtualTimers& timers, platform::dispatch::SerialQueue& queue)
            : timers_(timers), queue_(queue) {}
        ~Timer() override { cancel(); }

        void schedule(double delaySeconds, std::function<void()> handler) override {
            std::lock_guard lock(timers_.mutex_);
            if (current_)
                timers_.entries_.erase(*current_);
            current_ = timers_.nextID_++;
            timers_.entries_[*current_] =
                Entry{timers_.now_ + delaySeconds, std::move(handler), &queue_};
        }

        void cancel() override {
            std::lock_guard lock(timers_.mutex_);
            if (current_)
                timers_.entries_.erase(*current_);
            current_.reset();
        }

      private:
        VirtualTimers& timers_;
        platform::dispatch::SerialQueue& queue_;
        std::optional<std::uint64_t> current_;
    };

    mutable std::mutex mutex_;
    double now_ = 0;
    std::uint64_t nextID_ = 1;
    std::size_t fired_ = 0;
    std::map<std::uint64_t, Entry> entries_;
};

}  // namespace ventrella::helper::testing
