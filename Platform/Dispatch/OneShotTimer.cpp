#include "Platform/Dispatch/OneShotTimer.h"

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <mutex>

namespace platform::dispatch {

// Shared with the work posted to the queue, which may outlive the timer object.
// The asio timer objects are created, waited on, cancelled and destroyed on the
// queue only; the generation alone decides whether a handler runs.
struct OneShotTimer::State {
    // Recursive: a handler runs with the lock held and may re-arm or cancel.
    mutable std::recursive_mutex mutex;
    // Every schedule and cancel moves it on; a completion fires only when it
    // still carries the current generation.
    std::uint64_t generation = 0;
    bool scheduled = false;
    std::function<void()> handler;
    // Touched on the queue only.
    std::shared_ptr<asio::steady_timer> timer;
};

OneShotTimer::OneShotTimer(SerialQueue& queue) : queue_(queue), state_(std::make_shared<State>()) {}

OneShotTimer::~OneShotTimer() {
    cancel();
}

void OneShotTimer::schedule(double delaySeconds, std::function<void()> handler) {
    const auto delay = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(delaySeconds > 0 ? delaySeconds : 0.0));
    const auto deadline = std::chrono::steady_clock::now() + delay;

    std::lock_guard lock(state_->mutex);
    const std::uint64_t generation = ++state_->generation;
    state_->scheduled = true;
    state_->handler = std::move(handler);

    asio::io_context& io = queue_.context();
    asio::post(io, [state = state_, generation, deadline, &io] {
        std::shared_ptr<asio::steady_timer> previous;
        std::shared_ptr<asio::steady_timer> timer;
        {
            std::lock_guard lock(state->mutex);
            previous = std::move(state->timer);
            if (state->generation != generation) {
                return;
            }
            timer = std::make_shared<asio::steady_timer>(io, deadline);
            state->timer = timer;
        }
        if (previous) {
            previous->cancel();
        }
        timer->async_wait([state, generation](const std::error_code&) {
            // The error code is not enough: a completion already queued when
            // cancel() ran arrives without one.
            std::lock_guard lock(state->mutex);
            if (state->generation != generation) {
                return;
            }
            ++state->generation;
            state->scheduled = false;
            state->timer.reset();
            // Moved out first, so that a re-arm inside the handler does not
            // destroy the function that is running.
            auto fire = std::move(state->handler);
            state->handler = nullptr;
            if (fire) {
                fire();
            }
        });
    });
}

void OneShotTimer::cancel() {
    std::lock_guard lock(state_->mutex);
    ++state_->generation;
    state_->scheduled = false;
    state_->handler = nullptr;
    // The asio timer belongs to the queue; let it release it there.
    asio::post(queue_.context(), [state = state_] {
        std::shared_ptr<asio::steady_timer> timer;
        {
            std::lock_guard lock(state->mutex);
            timer = std::move(state->timer);
        }
        if (timer) {
            timer->cancel();
        }
    });
}

bool OneShotTimer::isScheduled() const {
    std::lock_guard lock(state_->mutex);
    return state_->scheduled;
}

}  // namespace platform::dispatch
