#pragma once

#include "Platform/Dispatch/MainExecutor.h"
#include "Platform/Dispatch/Task.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <unordered_map>

namespace platform::dispatch {

namespace detail {
class SpawnedTask;
}

// Observes one task started by TaskScope::spawn. Letting go of the handle does
// not stop the task.
class TaskHandle {
  public:
    TaskHandle() = default;

    // Requests a stop: the task's sleeps end early; everything else it awaits runs
    // to its end. Any thread.
    void cancel() const noexcept;
    bool isCancelled() const noexcept;

    // The task ran to its end or its scope let it go. Main thread only.
    bool isFinished() const noexcept;

    explicit operator bool() const noexcept { return task_ != nullptr; }

  private:
    friend class TaskScope;
    explicit TaskHandle(std::shared_ptr<detail::SpawnedTask> task) : task_(std::move(task)) {}

    std::shared_ptr<detail::SpawnedTask> task_;
};

// Owns the tasks it spawns. An object whose coroutines use its members holds a
// scope as its last member: destroying the object then stops every task first
// and destroys the frames of those still suspended, so nothing resumes into a
// destroyed owner, and completions, timers and detached results that arrive
// later find no one waiting and are dropped.
//
// Main thread only. The scope must not be destroyed from inside one of its own
// tasks, and the executor must outlive it.
class TaskScope {
  public:
    using FailureHandler = std::function<void(std::exception_ptr)>;

    // onUnhandledFailure receives the exception that ends a spawned task (nobody
    // awaits it); without one, the exception is written to standard error.
    explicit TaskScope(MainExecutor& executor, FailureHandler onUnhandledFailure = nullptr);
    ~TaskScope();

    TaskScope(const TaskScope&) = delete;
    TaskScope& operator=(const TaskScope&) = delete;

    // Starts the task on a later step of the executor (never inline) with a stop
    // source of its own.
    TaskHandle spawn(Task<void> task);

    void cancelAll() noexcept;

    // Tasks spawned here that have not yet finished.
    std::size_t activeCount() const noexcept { return tasks_.size(); }

    MainExecutor& executor() const noexcept { return executor_; }

  private:
    friend class detail::SpawnedTask;
    void taskFinished(detail::SpawnedTask& task, std::exception_ptr failure) noexcept;

    MainExecutor& executor_;
    FailureHandler onUnhandledFailure_;
    std::unordered_map<detail::SpawnedTask*, std::shared_ptr<detail::SpawnedTask>> tasks_;
};

}  // namespace platform::dispatch
