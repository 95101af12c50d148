#include "Platform/Dispatch/SerialQueue.h"

#include <asio/executor_work_guard.hpp>
#include <asio/post.hpp>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace platform::dispatch {

// Shared by the queue object and its thread, so that the thread can outlive the
// object when the queue is destroyed from one of its own work items.
struct SerialQueue::Core {
    explicit Core(std::string name) : label(std::move(name)), guard(asio::make_work_guard(io)) {}

    std::string label;
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> guard;
    std::thread thread;
    // Written once before any work can be submitted; read by isCurrent().
    std::thread::id threadId;
};

SerialQueue::SerialQueue(std::string label) : core_(std::make_shared<Core>(std::move(label))) {
    core_->thread = std::thread([core = core_] { core->io.run(); });
    core_->threadId = core_->thread.get_id();
}

SerialQueue::~SerialQueue() {
    // Posted behind everything already submitted, so that work runs first.
    asio::post(core_->io, [core = core_.get()] { core->io.stop(); });
    if (core_->threadId == std::this_thread::get_id()) {
        // The thread holds its own reference to the core and ends after the
        // current work item.
        core_->thread.detach();
    } else {
        core_->thread.join();
    }
}

const std::string& SerialQueue::label() const {
    return core_->label;
}

bool SerialQueue::isCurrent() const {
    return core_->threadId == std::this_thread::get_id();
}

asio::io_context& SerialQueue::context() {
    return core_->io;
}

asio::io_context& SerialQueue::contextOf(Core& core) {
    return core.io;
}

void SerialQueue::runAndWait(const std::function<void()>& work) {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    asio::post(core_->io, [&] {
        work();
        std::lock_guard lock(mutex);
        done = true;
        finished.notify_one();
    });
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done; });
}

}  // namespace platform::dispatch
