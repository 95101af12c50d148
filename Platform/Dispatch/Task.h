#pragma once

#include "Platform/Dispatch/MainExecutor.h"

#include <concepts>
#include <coroutine>
#include <exception>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <type_traits>
#include <utility>

namespace platform::dispatch {

template <class T = void>
class Task;
class TaskScope;

// What a running task inherits from whoever awaits it: the executor it runs on
// and the stop token of the task that TaskScope::spawn started.
struct TaskContext {
    MainExecutor* executor = nullptr;
    std::stop_token stopToken;
};

namespace detail {

// Told when a spawned task has run to its end; its frame goes right after.
class TaskRoot {
  public:
    virtual void finished(std::exception_ptr failure) noexcept = 0;

  protected:
    ~TaskRoot() = default;
};

class PromiseBase {
  public:
    // A child that ends while its awaiter is still starting it stays suspended,
    // and the awaiter goes on without suspending; one that ends later resumes its
    // awaiter. So a loop of awaits that finish at once never deepens the stack.
    // A spawned task reports to its root and lets its frame go (not suspending at
    // the end destroys the frame).
    struct FinalAwaiter {
        PromiseBase* promise;

        bool await_ready() const noexcept {
            if (promise->continuation_ || promise->root_ == nullptr) {
                return false;
            }
            promise->root_->finished(std::exchange(promise->failure_, nullptr));
            return true;
        }
        std::coroutine_handle<> await_suspend(std::coroutine_handle<>) const noexcept {
            if (promise->startingInAwaiter_) {
                promise->endedWhileStarting_ = true;
                return std::noop_coroutine();
            }
            if (promise->continuation_) {
                return promise->continuation_;
            }
            return std::noop_coroutine();
        }
        void await_resume() const noexcept {}
    };

    std::suspend_always initial_suspend() const noexcept { return {}; }
    FinalAwaiter final_suspend() noexcept { return FinalAwaiter{this}; }
    void unhandled_exception() noexcept { failure_ = std::current_exception(); }

    const TaskContext& context() const noexcept { return context_; }

    void startAsChild(const PromiseBase& parent, std::coroutine_handle<> awaiting) noexcept {
        context_ = parent.context_;
        continuation_ = awaiting;
    }
    // Runs the awaited child until it first suspends or ends. True when it
    // suspended: the awaiter suspends until the child resumes it.
    bool startFromAwaiter(std::coroutine_handle<> self) {
        startingInAwaiter_ = true;
        self.resume();
        startingInAwaiter_ = false;
        return !endedWhileStarting_;
    }
    void startAsRoot(TaskContext context, TaskRoot* root) noexcept {
        context_ = std::move(context);
        root_ = root;
    }

  protected:
    void rethrowFailure() {
        if (failure_) {
            std::rethrow_exception(std::exchange(failure_, nullptr));
        }
    }

  private:
    TaskContext context_;
    std::coroutine_handle<> continuation_;
    std::exception_ptr failure_;
    TaskRoot* root_ = nullptr;
    bool startingInAwaiter_ = false;
    bool endedWhileStarting_ = false;
};

// The awaitables of this runtime read the awaiting task's context, so they can
// only be awaited from a Task coroutine.
template <class P>
concept RuntimePromise = std::derived_from<P, PromiseBase>;

inline MainExecutor& executorOf(const TaskContext& context) {
    if (context.executor == nullptr) {
        throw std::logic_error("The task was not started by a TaskScope.");
    }
    return *context.executor;
}

template <class T>
class TaskPromise : public PromiseBase {
  public:
    Task<T> get_return_object() noexcept;
    void return_value(T value) { value_.emplace(std::move(value)); }
    T takeResult() {
        rethrowFailure();
        return std::move(*value_);
    }

  private:
    std::optional<T> value_;
};

template <>
class TaskPromise<void> : public PromiseBase {
  public:
    Task<void> get_return_object() noexcept;
    void return_void() noexcept {}
    void takeResult() { rethrowFailure(); }
};

}  // namespace detail

// A lazy coroutine: nothing runs until it is awaited (co_await std::move(task),
// or co_await f()) or spawned on a TaskScope. It runs up to its first suspension
// inside the awaiting step, inherits the awaiter's executor and stop token, and
// hands back its value or rethrows its exception to the awaiter.
template <class T>
class [[nodiscard]] Task {
    static_assert(!std::is_reference_v<T>, "A task returns values, not references.");

  public:
    using promise_type = detail::TaskPromise<T>;

    Task() noexcept = default;
    Task(Task&& other) noexcept : frame_(std::exchange(other.frame_, {})) {}
    Task& operator=(Task&& other) noexcept {
        if (this != &other) {
            reset();
            frame_ = std::exchange(other.frame_, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { reset(); }

    // False for a default-constructed or moved-from task.
    bool valid() const noexcept { return static_cast<bool>(frame_); }

    class Awaiter {
      public:
        explicit Awaiter(std::coroutine_handle<promise_type> frame) noexcept : frame_(frame) {}

        bool await_ready() const noexcept { return !frame_; }
        template <detail::RuntimePromise P>
        bool await_suspend(std::coroutine_handle<P> awaiting) {
            frame_.promise().startAsChild(awaiting.promise(), awaiting);
            return frame_.promise().startFromAwaiter(frame_);
        }
        T await_resume() {
            if (!frame_) {
                throw std::logic_error("An empty task was awaited.");
            }
            return frame_.promise().takeResult();
        }

      private:
        std::coroutine_handle<promise_type> frame_;
    };

    Awaiter operator co_await() && noexcept { return Awaiter(frame_); }

  private:
    friend promise_type;
    friend class TaskScope;

    explicit Task(std::coroutine_handle<promise_type> frame) noexcept : frame_(frame) {}

    std::coroutine_handle<promise_type> release() noexcept { return std::exchange(frame_, {}); }
    void reset() noexcept {
        if (frame_) {
            std::exchange(frame_, {}).destroy();
        }
    }

    std::coroutine_handle<promise_type> frame_;
};

namespace detail {

template <class T>
Task<T> TaskPromise<T>::get_return_object() noexcept {
    return Task<T>(std::coroutine_handle<TaskPromise<T>>::from_promise(*this));
}

inline Task<void> TaskPromise<void>::get_return_object() noexcept {
    return Task<void>(std::coroutine_handle<TaskPromise<void>>::from_promise(*this));
}

}  // namespace detail

// co_await currentStopToken() gives the running task's stop token without
// suspending: a loop checks it at the top of each round.
class CurrentStopToken {
  public:
    bool await_ready() const noexcept { return false; }
    template <detail::RuntimePromise P>
    bool await_suspend(std::coroutine_handle<P> awaiting) noexcept {
        token_ = awaiting.promise().context().stopToken;
        return false;
    }
    std::stop_token await_resume() const noexcept { return token_; }

  private:
    std::stop_token token_;
};

inline CurrentStopToken currentStopToken() noexcept {
    return {};
}

}  // namespace platform::dispatch
