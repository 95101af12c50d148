#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <map>
#include <mutex>

#include "Platform/Dispatch/MainExecutor.h"
#include "Platform/Dispatch/WorkerThreads.h"

namespace ventrella::shell {

// The application model's main executor on Qt's GUI thread: posts become queued calls on that
// thread, timed jobs wait for one precise single-shot timer armed for the earliest deadline, and
// detached work runs on worker threads of its own. Create it on the GUI thread, after the
// application object; it must outlive every task scope that uses it.
class QtMainExecutor final : public platform::dispatch::MainExecutor {
  public:
    // uptimeClock gives seconds of uptime (default: the system's).
    explicit QtMainExecutor(std::function<double()> uptimeClock = nullptr);
    // Waits for detached work that has started; jobs not yet run are dropped.
    ~QtMainExecutor() override;

    QtMainExecutor(const QtMainExecutor&) = delete;
    QtMainExecutor& operator=(const QtMainExecutor&) = delete;

    void post(Job job) override;
    void postAt(double deadline, Job job) override;
    double uptime() const override;
    void runDetached(Job work) override;

  private:
    // GUI thread: runs the jobs that are due, in deadline order (equal deadlines in the order
    // they were scheduled), then arms the timer for the next one.
    void runDueJobs();
    void armTimer();

    std::function<double()> uptimeClock_;
    // Lives on the GUI thread: the receiver of every post.
    QObject receiver_;
    QTimer timer_;
    std::mutex mutex_;
    std::multimap<double, Job> timed_;
    // Last: joined first on destruction, while posts are still taken.
    platform::dispatch::WorkerThreads workers_;
};

}  // namespace ventrella::shell
