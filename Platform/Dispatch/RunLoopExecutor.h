#pragma once

#include "Platform/Dispatch/MainExecutor.h"
#include "Platform/Dispatch/WorkerThreads.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

namespace platform::dispatch {

// A plain main loop in real time, for programs without a GUI and for end-to-end
// tests: the thread that calls run() is the main thread. Detached work runs on
// threads of its own.
class RunLoopExecutor final : public MainExecutor {
  public:
    // uptimeClock gives seconds of uptime (default: the system's).
    explicit RunLoopExecutor(std::function<double()> uptimeClock = nullptr);
    // Waits for detached work that has started; queued jobs and timers are dropped.
    ~RunLoopExecutor() override;

    RunLoopExecutor(const RunLoopExecutor&) = delete;
    RunLoopExecutor& operator=(const RunLoopExecutor&) = delete;

    void post(Job job) override;
    void postAt(double deadline, Job job) override;
    double uptime() const override;
    void runDetached(Job work) override;

    // Runs jobs and due timers on the calling thread until stop().
    void run();

    // Any thread: run() returns after the job it is running. A stop that comes
    // before run() makes the next run() return at once.
    void stop();

  private:
    std::function<double()> uptimeClock_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> ready_;
    std::multimap<double, Job> timers_;
    bool stopping_ = false;
    // Last: joined first on destruction, while the queues still take the
    // workers' posts.
    WorkerThreads workers_;
};

}  // namespace platform::dispatch
