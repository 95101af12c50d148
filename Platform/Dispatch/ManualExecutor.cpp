#include "Platform/Dispatch/ManualExecutor.h"

#include <chrono>
#include <stdexcept>
#include <thread>
#include <utility>

namespace platform::dispatch {

ManualExecutor::ManualExecutor(double startUptime) : now_(startUptime) {}

// Work still queued is dropped unrun; detached work only ever runs inside runOne,
// so no worker outlives the executor.
ManualExecutor::~ManualExecutor() = default;

void ManualExecutor::post(Job job) {
    std::lock_guard lock(mutex_);
    ready_.push_back(std::move(job));
    workArrived_.notify_all();
}

void ManualExecutor::postAt(double deadline, Job job) {
    std::lock_guard lock(mutex_);
    if (deadline > now_) {
        timers_.emplace(deadline, std::move(job));
    } else {
        ready_.push_back(std::move(job));
        workArrived_.notify_all();
    }
}

double ManualExecutor::uptime() const {
    std::lock_guard lock(mutex_);
    return now_;
}

void ManualExecutor::runDetached(Job work) {
    std::lock_guard lock(mutex_);
    detached_.push_back(std::move(work));
    workArrived_.notify_all();
}

std::optional<MainExecutor::Job> ManualExecutor::takeReady() {
    std::lock_guard lock(mutex_);
    if (ready_.empty()) {
        return std::nullopt;
    }
    Job job = std::move(ready_.front());
    ready_.pop_front();
    return job;
}

bool ManualExecutor::runOne() {
    if (auto job = takeReady()) {
        (*job)();
        return true;
    }
    Job work;
    {
        std::lock_guard lock(mutex_);
        if (detached_.empty()) {
            return false;
        }
        work = std::move(detached_.front());
        detached_.pop_front();
    }
    // A real thread, so that the work runs off the main thread as it would in
    // the application; it posts its own result back.
    std::thread(std::move(work)).join();
    if (auto job = takeReady()) {
        (*job)();
    }
    return true;
}

std::size_t ManualExecutor::runReady() {
    std::size_t count = 0;
    while (auto job = takeReady()) {
        (*job)();
        ++count;
    }
    return count;
}

std::size_t ManualExecutor::runUntilIdle() {
    std::size_t count = 0;
    while (runOne()) {
        ++count;
    }
    return count;
}

void ManualExecutor::advanceBy(double seconds) {
    if (!(seconds >= 0)) {
        throw std::invalid_argument("Virtual time only moves forward.");
    }
    advanceTo(uptime() + seconds);
}

void ManualExecutor::advanceTo(double target) {
    if (!(target >= uptime())) {
        throw std::invalid_argument("Virtual time only moves forward.");
    }
    runUntilIdle();
    for (;;) {
        Job job;
        {
            std::lock_guard lock(mutex_);
            if (timers_.empty() || timers_.begin()->first > target) {
                now_ = target;
                break;
            }
            auto next = timers_.begin();
            now_ = next->first;
            job = std::move(next->second);
            timers_.erase(next);
        }
        job();
        runUntilIdle();
    }
    runUntilIdle();
}

bool ManualExecutor::runUntil(const std::function<bool()>& condition, double realTimeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                              std::chrono::duration<double>(realTimeoutSeconds));
    for (;;) {
        if (condition()) {
            return true;
        }
        if (runOne()) {
            continue;
        }
        std::unique_lock lock(mutex_);
        const bool arrived = workArrived_.wait_until(
            lock, deadline, [this] { return !ready_.empty() || !detached_.empty(); });
        if (!arrived) {
            lock.unlock();
            return condition();
        }
    }
}

std::optional<double> ManualExecutor::nextDeadline() const {
    std::lock_guard lock(mutex_);
    if (timers_.empty()) {
        return std::nullopt;
    }
    return timers_.begin()->first;
}

std::size_t ManualExecutor::pendingDetachedCount() const {
    std::lock_guard lock(mutex_);
    return detached_.size();
}

}  // namespace platform::dispatch
