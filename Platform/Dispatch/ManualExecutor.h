#pragma once

#include "Platform/Dispatch/MainExecutor.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace platform::dispatch {

// A main executor driven by hand, on virtual time, for tests. The thread that
// calls the run and advance functions is the main thread.
//
// Detached work waits until the main thread has nothing ready; it then runs on a
// worker thread of its own while the main thread waits for it, and its result is
// posted back. Together with virtual time this makes every interleaving of
// posted work, timers and detached work the same on every run. Posts from other
// threads (a transport, a test's racing threads) are the only real concurrency;
// runUntil waits for those.
class ManualExecutor final : public MainExecutor {
  public:
    explicit ManualExecutor(double startUptime = 0.0);
    ~ManualExecutor() override;

    ManualExecutor(const ManualExecutor&) = delete;
    ManualExecutor& operator=(const ManualExecutor&) = delete;

    void post(Job job) override;
    void postAt(double deadline, Job job) override;
    double uptime() const override;
    void runDetached(Job work) override;

    // Runs the next ready job; when none is ready, first runs the oldest detached
    // work to its end. False when there was nothing to run.
    bool runOne();

    // Runs ready jobs, and those they post, until none is ready; detached work
    // stays waiting. Returns the number of jobs run.
    std::size_t runReady();

    // Runs ready jobs and detached work until neither is left. Timers that are
    // not yet due stay. Returns the number of jobs run.
    std::size_t runUntilIdle();

    // Moves virtual time forward. Each timer due on the way fires at its own
    // deadline, in deadline order (ties in the order they were scheduled),
    // followed by everything it causes (runUntilIdle); the executor ends idle at
    // the new time. Negative or NaN seconds are refused.
    void advanceBy(double seconds);
    void advanceTo(double uptime);

    // Runs work as runOne does until condition() holds, waiting in real time for
    // posts from other threads for at most realTimeoutSeconds. Returns condition().
    bool runUntil(const std::function<bool()>& condition, double realTimeoutSeconds);

    // The earliest timer not yet due, if any.
    std::optional<double> nextDeadline() const;

    std::size_t pendingDetachedCount() const;

  private:
    std::optional<Job> takeReady();

    mutable std::mutex mutex_;
    std::condition_variable workArrived_;
    double now_;
    std::deque<Job> ready_;
    std::multimap<double, Job> timers_;
    std::deque<Job> detached_;
};

}  // namespace platform::dispatch
