#pragma once

#include "Platform/Dispatch/Task.h"

#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform::dispatch {

// co_await detached(work) runs work() on a worker thread of the task's executor
// and resumes the task on the main thread with its result, or rethrows its
// exception there. The work runs to its end even when the task is cancelled; if
// the task's frame is gone by then (its scope was destroyed), the result is
// dropped. work must not touch main-thread state: hand it copies.
template <class F>
class DetachedAwaiter {
  public:
    using Result = std::invoke_result_t<F&>;
    static_assert(!std::is_reference_v<Result>, "Detached work returns values, not references.");

    explicit DetachedAwaiter(F work) : state_(std::make_shared<State>(std::move(work))) {}
    DetachedAwaiter(DetachedAwaiter&& other) noexcept : state_(std::move(other.state_)) {}
    DetachedAwaiter& operator=(DetachedAwaiter&&) = delete;
    ~DetachedAwaiter() {
        if (state_) {
            state_->awaiting = {};
        }
    }

    bool await_ready() const noexcept { return false; }
    template <detail::RuntimePromise P>
    void await_suspend(std::coroutine_handle<P> awaiting) {
        MainExecutor& executor = detail::executorOf(awaiting.promise().context());
        state_->awaiting = awaiting;
        executor.runDetached([state = state_, &executor] {
            state->run();
            executor.post([state] {
                if (auto resumed = std::exchange(state->awaiting, {})) {
                    resumed.resume();
                }
            });
        });
    }
    Result await_resume() {
        if (state_->failure) {
            std::rethrow_exception(std::exchange(state_->failure, nullptr));
        }
        if constexpr (!std::is_void_v<Result>) {
            return std::move(*state_->value);
        }
    }

  private:
    using Stored = std::conditional_t<std::is_void_v<Result>, std::monostate, Result>;

    // work, value and failure are written on the worker and read on the main
    // thread after the post; awaiting is touched on the main thread only.
    struct State {
        explicit State(F work) : work(std::move(work)) {}

        void run() noexcept {
            try {
                if constexpr (std::is_void_v<Result>) {
                    (*work)();
                } else {
                    value.emplace((*work)());
                }
            } catch (...) {
                failure = std::current_exception();
            }
            // What the work holds goes on the worker, as soon as it is done.
            work.reset();
        }

        std::optional<F> work;
        std::optional<Stored> value;
        std::exception_ptr failure;
        std::coroutine_handle<> awaiting;
    };

    std::shared_ptr<State> state_;
};

template <class F>
[[nodiscard]] DetachedAwaiter<std::decay_t<F>> detached(F&& work) {
    return DetachedAwaiter<std::decay_t<F>>(std::forward<F>(work));
}

}  // namespace platform::dispatch
