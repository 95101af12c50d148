#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace platform::dispatch {

// Runs each piece of work on a thread of its own, so that one slow piece (a
// blocking script) never holds up another (a sensor read). Finished threads are
// joined when the next work starts; the destructor waits for all of them.
// Work must not throw.
class WorkerThreads {
  public:
    WorkerThreads();
    ~WorkerThreads();

    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Any thread but a worker's own.
    void start(std::function<void()> work);

  private:
    struct Worker;

    std::mutex mutex_;
    std::vector<std::unique_ptr<Worker>> workers_;
};

}  // namespace platform::dispatch
