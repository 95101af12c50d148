#pragma once

#include "Platform/Dispatch/Task.h"

#include <coroutine>
#include <memory>

namespace platform::dispatch {

// co_await sleepFor(seconds) suspends the task for that many seconds of its
// executor's uptime and gives true; it gives false, early, once the task's stop
// token is triggered (and at once when it already was). Zero, negative or NaN
// seconds yield to the executor for one step.
class SleepAwaiter {
  public:
    explicit SleepAwaiter(double seconds) noexcept;
    SleepAwaiter(SleepAwaiter&& other) noexcept;
    SleepAwaiter& operator=(SleepAwaiter&&) = delete;
    ~SleepAwaiter();

    bool await_ready() const noexcept { return false; }
    template <detail::RuntimePromise P>
    bool await_suspend(std::coroutine_handle<P> awaiting) {
        return suspend(awaiting, awaiting.promise().context());
    }
    bool await_resume() const noexcept;

  private:
    struct State;
    struct StopRegistration;

    bool suspend(std::coroutine_handle<> awaiting, const TaskContext& context);

    double seconds_;
    std::shared_ptr<State> state_;
    std::unique_ptr<StopRegistration> registration_;
};

[[nodiscard]] inline SleepAwaiter sleepFor(double seconds) noexcept {
    return SleepAwaiter(seconds);
}

}  // namespace platform::dispatch
