#pragma once

#include "Platform/Dispatch/Task.h"

#include <coroutine>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform::dispatch {

template <class T = void>
class Completer;

namespace detail {

// One outcome, settled once by the first completer. The awaiting task's executor
// is known only while the task waits, and the resumption is posted under the
// lock: once abandon() has returned (the task's frame resumed or destroyed),
// nothing more is posted.
template <class T>
class CompletionState : public std::enable_shared_from_this<CompletionState<T>> {
  public:
    using Value = std::conditional_t<std::is_void_v<T>, std::monostate, T>;
    using Outcome = std::variant<Value, std::exception_ptr>;

    bool settle(Outcome outcome) {
        std::lock_guard lock(mutex_);
        if (outcome_ || taken_) {
            return false;
        }
        outcome_.emplace(std::move(outcome));
        if (executor_ != nullptr) {
            executor_->post([self = this->shared_from_this()] { self->resumeAwaiting(); });
            executor_ = nullptr;
        }
        return true;
    }

    bool isSettled() const {
        std::lock_guard lock(mutex_);
        return outcome_.has_value() || taken_;
    }

    // False when the outcome is already there: the task goes on without suspending.
    bool registerAwaiting(std::coroutine_handle<> awaiting, MainExecutor& executor) {
        std::lock_guard lock(mutex_);
        if (outcome_ || taken_) {
            return false;
        }
        awaiting_ = awaiting;
        executor_ = &executor;
        return true;
    }

    void abandon() {
        std::lock_guard lock(mutex_);
        awaiting_ = {};
        executor_ = nullptr;
    }

    Value take() {
        std::optional<Outcome> outcome;
        {
            std::lock_guard lock(mutex_);
            if (!outcome_) {
                throw std::logic_error(
                    "A completion was awaited again after its outcome was taken.");
            }
            outcome.swap(outcome_);
            taken_ = true;
        }
        if (auto* failure = std::get_if<std::exception_ptr>(&*outcome)) {
            std::rethrow_exception(*failure);
        }
        return std::move(std::get<Value>(*outcome));
    }

  private:
    void resumeAwaiting() {
        std::coroutine_handle<> awaiting;
        {
            std::lock_guard lock(mutex_);
            awaiting = std::exchange(awaiting_, {});
        }
        if (awaiting) {
            awaiting.resume();
        }
    }

    mutable std::mutex mutex_;
    std::optional<Outcome> outcome_;
    bool taken_ = false;
    std::coroutine_handle<> awaiting_;
    MainExecutor* executor_ = nullptr;
};

}  // namespace detail

// A one-shot completion for a callback-based operation. The awaiting task keeps
// the Completion as a local and hands copies of its completer() to every party
// that may finish the operation (a reply handler, an error handler, a timer);
// the first to complete or fail wins, every later call returns false and does
// nothing. The task resumes on its executor in a later step, never inline on the
// completing thread and never under the completing caller's lock. A completion
// that arrives after the awaiting frame is gone (its scope destroyed) is dropped.
//
// Awaited once: Value v = co_await completion;
template <class T = void>
class Completion {
  public:
    Completion() : state_(std::make_shared<detail::CompletionState<T>>()) {}
    Completion(const Completion&) = delete;
    Completion& operator=(const Completion&) = delete;
    ~Completion() { state_->abandon(); }

    Completer<T> completer() const { return Completer<T>(state_); }

    class Awaiter {
      public:
        explicit Awaiter(std::shared_ptr<detail::CompletionState<T>> state) noexcept
            : state_(std::move(state)) {}
        Awaiter(Awaiter&& other) noexcept : state_(std::move(other.state_)) {}
        Awaiter& operator=(Awaiter&&) = delete;
        ~Awaiter() {
            if (state_) {
                state_->abandon();
            }
        }

        bool await_ready() const { return state_->isSettled(); }
        template <detail::RuntimePromise P>
        bool await_suspend(std::coroutine_handle<P> awaiting) {
            return state_->registerAwaiting(awaiting,
                                            detail::executorOf(awaiting.promise().context()));
        }
        T await_resume() {
            if constexpr (std::is_void_v<T>) {
                state_->take();
            } else {
                return state_->take();
            }
        }

      private:
        std::shared_ptr<detail::CompletionState<T>> state_;
    };

    Awaiter operator co_await() & { return Awaiter(state_); }

  private:
    std::shared_ptr<detail::CompletionState<T>> state_;
};

// The finishing side of a Completion: cheap to copy, callable from any thread.
template <class T>
class Completer {
  public:
    using Value = typename detail::CompletionState<T>::Value;
    using Outcome = typename detail::CompletionState<T>::Outcome;

    // True for the call that settled the completion.
    bool complete(Value value) const requires(!std::is_void_v<T>) {
        return state_->settle(Outcome(std::in_place_index<0>, std::move(value)));
    }
    bool complete() const requires std::is_void_v<T> {
        return state_->settle(Outcome(std::in_place_index<0>));
    }
    bool fail(std::exception_ptr failure) const {
        if (!failure) {
            failure = std::make_exception_ptr(
                std::invalid_argument("A completion was failed without an exception."));
        }
        return state_->settle(Outcome(std::in_place_index<1>, std::move(failure)));
    }

    bool isCompleted() const { return state_->isSettled(); }

  private:
    friend class Completion<T>;
    explicit Completer(std::shared_ptr<detail::CompletionState<T>> state)
        : state_(std::move(state)) {}

    std::shared_ptr<detail::CompletionState<T>> state_;
};

}  // namespace platform::dispatch
