#include "Platform/Dispatch/Sleep.h"

#include <mutex>
#include <stop_token>
#include <utility>

namespace platform::dispatch {

// Shared by the awaiter, the executor's timer job and the stop callback. The
// first of timer and stop settles the sleep; the awaiter's destructor (its frame
// resumed or destroyed) abandons it, after which nothing is resumed.
struct SleepAwaiter::State {
    explicit State(MainExecutor& owner) : executor(owner) {}

    // Timer job, main thread: resumes inline, as the job is a step of its own.
    void elapse() {
        std::coroutine_handle<> awaiting;
        {
            std::lock_guard lock(mutex);
            if (settled) {
                return;
            }
            settled = true;
            elapsed = true;
            awaiting = std::exchange(this->awaiting, {});
        }
        if (awaiting) {
            awaiting.resume();
        }
    }

    // Stop callback, any thread: posts the resumption. Posting under the lock
    // means that once abandon() has returned nothing reaches the executor.
    static void cancel(const std::shared_ptr<State>& state) {
        std::lock_guard lock(state->mutex);
        if (state->settled) {
            return;
        }
        state->settled = true;
        state->executor.post([state] { state->resumeAwaiting(); });
    }

    void resumeAwaiting() {
        std::coroutine_handle<> awaiting;
        {
            std::lock_guard lock(mutex);
            awaiting = std::exchange(this->awaiting, {});
        }
        if (awaiting) {
            awaiting.resume();
        }
    }

    void abandon() {
        std::lock_guard lock(mutex);
        settled = true;
        awaiting = {};
    }

    bool hasElapsed() {
        std::lock_guard lock(mutex);
        return elapsed;
    }

    MainExecutor& executor;
    std::mutex mutex;
    std::coroutine_handle<> awaiting;
    bool settled = false;
    bool elapsed = false;
};

struct SleepAwaiter::StopRegistration {
    struct Wake {
        std::shared_ptr<State> state;
        void operator()() const { State::cancel(state); }
    };

    StopRegistration(const std::stop_token& token, std::shared_ptr<State> state)
        : callback(token, Wake{std::move(state)}) {}

    std::stop_callback<Wake> callback;
};

SleepAwaiter::SleepAwaiter(double seconds) noexcept : seconds_(seconds > 0 ? seconds : 0.0) {}

SleepAwaiter::SleepAwaiter(SleepAwaiter&& other) noexcept
    : seconds_(other.seconds_),
      state_(std::move(other.state_)),
      registration_(std::move(other.registration_)) {}

SleepAwaiter::~SleepAwaiter() {
    // Unregisters first; waits for a stop callback running on another thread.
    registration_.reset();
    if (state_) {
        state_->abandon();
    }
}

bool SleepAwaiter::suspend(std::coroutine_handle<> awaiting, const TaskContext& context) {
    if (context.stopToken.stop_requested()) {
        return false;
    }
    MainExecutor& executor = detail::executorOf(context);
    state_ = std::make_shared<State>(executor);
    state_->awaiting = awaiting;
    executor.postAt(executor.uptime() + seconds_, [state = state_] { state->elapse(); });
    if (context.stopToken.stop_possible()) {
        // Runs the callback inline when a stop came in meanwhile; it only posts.
        registration_ = std::make_unique<StopRegistration>(context.stopToken, state_);
    }
    return true;
}

bool SleepAwaiter::await_resume() const noexcept {
    return state_ && state_->hasElapsed();
}

}  // namespace platform::dispatch
