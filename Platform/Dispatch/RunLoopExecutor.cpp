#include "Platform/Dispatch/RunLoopExecutor.h"

#include "Platform/Foundation/Clock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <utility>

namespace platform::dispatch {

namespace {

// Bounds one wait, so that a clock that does not run with the steady clock (one
// that counts suspended time) still fires its timers soon after they are due.
constexpr double kLongestWaitSeconds = 1.0;

}  // namespace

RunLoopExecutor::RunLoopExecutor(std::function<double()> uptimeClock)
    : uptimeClock_(uptimeClock
                       ? std::move(uptimeClock)
                       : std::function<double()>(platform::foundation::systemUptimeSeconds)) {}

RunLoopExecutor::~RunLoopExecutor() = default;

void RunLoopExecutor::post(Job job) {
    std::lock_guard lock(mutex_);
    ready_.push_back(std::move(job));
    changed_.notify_all();
}

void RunLoopExecutor::postAt(double deadline, Job job) {
    std::lock_guard lock(mutex_);
    // NaN would break the ordering of the timers; it is due at once.
    timers_.emplace(std::isnan(deadline) ? -std::numeric_limits<double>::infinity() : deadline,
                    std::move(job));
    changed_.notify_all();
}

double RunLoopExecutor::uptime() const {
    return uptimeClock_();
}

void RunLoopExecutor::runDetached(Job work) {
    workers_.start(std::move(work));
}

void RunLoopExecutor::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        const double now = uptimeClock_();
        while (!timers_.empty() && !(timers_.begin()->first > now)) {
            ready_.push_back(std::move(timers_.begin()->second));
            timers_.erase(timers_.begin());
        }
        if (!ready_.empty()) {
            Job job = std::move(ready_.front());
            ready_.pop_front();
            lock.unlock();
            job();
            lock.lock();
            continue;
        }
        if (timers_.empty()) {
            changed_.wait(lock);
        } else {
            const double wait = std::min(timers_.begin()->first - now, kLongestWaitSeconds);
            changed_.wait_for(lock, std::chrono::duration<double>(wait));
        }
    }
    stopping_ = false;
}

void RunLoopExecutor::stop() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
}

}  // namespace platform::dispatch
