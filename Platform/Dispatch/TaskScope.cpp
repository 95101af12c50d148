#include "Platform/Dispatch/TaskScope.h"

#include <cstdio>
#include <stdexcept>
#include <utility>

namespace platform::dispatch {

namespace detail {

// The root of one spawned task. Touched on the main thread only, except for the
// stop source.
class SpawnedTask final : public TaskRoot {
  public:
    SpawnedTask(TaskScope& scope, std::coroutine_handle<> frame) : scope_(&scope), frame_(frame) {}

    void start() {
        if (started_ || !frame_) {
            return;
        }
        started_ = true;
        frame_.resume();
    }

    void finished(std::exception_ptr failure) noexcept override {
        frame_ = {};
        if (TaskScope* scope = std::exchange(scope_, nullptr)) {
            scope->taskFinished(*this, std::move(failure));
        }
    }

    // The scope lets the task go without running it further.
    void discard() noexcept {
        scope_ = nullptr;
        if (auto frame = std::exchange(frame_, {})) {
            frame.destroy();
        }
    }

    bool isFinished() const noexcept { return !frame_; }

    std::stop_source stop;

  private:
    TaskScope* scope_;
    std::coroutine_handle<> frame_;
    bool started_ = false;
};

}  // namespace detail

namespace {

void writeToStandardError(std::exception_ptr failure) {
    try {
        std::rethrow_exception(std::move(failure));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "A task ended with an unhandled exception: %s\n", error.what());
    } catch (...) {
        std::fprintf(stderr, "A task ended with an unhandled exception of unknown type.\n");
    }
}

}  // namespace

void TaskHandle::cancel() const noexcept {
    if (task_) {
        task_->stop.request_stop();
    }
}

bool TaskHandle::isCancelled() const noexcept {
    return task_ && task_->stop.stop_requested();
}

bool TaskHandle::isFinished() const noexcept {
    return task_ && task_->isFinished();
}

TaskScope::TaskScope(MainExecutor& executor, FailureHandler onUnhandledFailure)
    : executor_(executor), onUnhandledFailure_(std::move(onUnhandledFailure)) {
    if (!onUnhandledFailure_) {
        onUnhandledFailure_ = writeToStandardError;
    }
}

TaskScope::~TaskScope() {
    auto tasks = std::move(tasks_);
    tasks_.clear();
    // Stop first, so that every task is seen as cancelled before any frame goes.
    for (auto& entry : tasks) {
        entry.second->stop.request_stop();
    }
    for (auto& entry : tasks) {
        entry.second->discard();
    }
}

TaskHandle TaskScope::spawn(Task<void> task) {
    if (!task.valid()) {
        throw std::invalid_argument("An empty task cannot be spawned.");
    }
    auto spawned = std::make_shared<detail::SpawnedTask>(*this, task.frame_);
    tasks_.emplace(spawned.get(), spawned);
    // From here the scope owns the frame; it discards it if the post fails.
    auto frame = task.release();
    frame.promise().startAsRoot(TaskContext{&executor_, spawned->stop.get_token()}, spawned.get());
    executor_.post([spawned] { spawned->start(); });
    return TaskHandle(spawned);
}

void TaskScope::cancelAll() noexcept {
    for (auto& entry : tasks_) {
        entry.second->stop.request_stop();
    }
}

void TaskScope::taskFinished(detail::SpawnedTask& task, std::exception_ptr failure) noexcept {
    // Keeps the task alive until this returns; the start job or a handle may
    // hold the last other reference.
    auto found = tasks_.find(&task);
    std::shared_ptr<detail::SpawnedTask> keep;
    if (found != tasks_.end()) {
        keep = std::move(found->second);
        tasks_.erase(found);
    }
    if (failure) {
        try {
            onUnhandledFailure_(std::move(failure));
        } catch (...) {
            // A failing handler must not take the main loop down with it.
        }
    }
}

}  // namespace platform::dispatch
