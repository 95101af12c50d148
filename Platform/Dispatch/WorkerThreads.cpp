#include "Platform/Dispatch/WorkerThreads.h"

#include <algorithm>
#include <atomic>
#include <iterator>

namespace platform::dispatch {

struct WorkerThreads::Worker {
    std::atomic<bool> finished{false};
    std::thread thread;
};

WorkerThreads::WorkerThreads() = default;

WorkerThreads::~WorkerThreads() {
    std::vector<std::unique_ptr<Worker>> workers;
    {
        std::lock_guard lock(mutex_);
        workers.swap(workers_);
    }
    for (auto& worker : workers) {
        worker->thread.join();
    }
}

void WorkerThreads::start(std::function<void()> work) {
    std::vector<std::unique_ptr<Worker>> done;
    {
        std::lock_guard lock(mutex_);
        auto running = std::partition(workers_.begin(), workers_.end(), [](const auto& worker) {
            return !worker->finished.load(std::memory_order_acquire);
        });
        std::move(running, workers_.end(), std::back_inserter(done));
        workers_.erase(running, workers_.end());

        // Room first: once the thread runs, keeping it must not fail.
        workers_.reserve(workers_.size() + 1);
        auto worker = std::make_unique<Worker>();
        Worker* raw = worker.get();
        raw->thread = std::thread([raw, work = std::move(work)] {
            work();
            raw->finished.store(true, std::memory_order_release);
        });
        workers_.push_back(std::move(worker));
    }
    for (auto& worker : done) {
        worker->thread.join();
    }
}

}  // namespace platform::dispatch
