#pragma once

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace platform::dispatch {

// A serial queue: one thread of its own running one event loop. Work items run
// one at a time, in the order they were submitted.
//
// Destruction stops the queue: every work item submitted before the destructor
// started still runs, nothing after it; timers that have not expired never fire.
// Destroyed from another thread, the destructor waits for that; destroyed from a
// work item of the queue itself (the last owner of something let go inside a
// callback), it does not wait and the thread ends on its own once the current
// item returns.
//
// An exception escaping an `async` work item ends the process, as with any thread.
class SerialQueue {
  public:
    explicit SerialQueue(std::string label);
    ~SerialQueue();

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    const std::string& label() const;

    // True on the queue's own thread.
    bool isCurrent() const;

    // Submits work (any callable, also move-only) and returns at once.
    template <class F>
    void async(F&& work) {
        // The work may end the queue (its last owner let go inside it) while post still touches
        // the event loop: the core stays alive until post has returned.
        const std::shared_ptr<Core> core = core_;
        asio::post(contextOf(*core), std::forward<F>(work));
    }

    // Runs work on the queue and waits for it; its result is returned and its
    // exception rethrown. Called on the queue itself, work runs inline, so a
    // nested call never deadlocks.
    template <class F>
    std::invoke_result_t<F&> sync(F&& work);

    // The event loop of the queue, for timers and sockets whose completions must
    // run on it. Valid as long as the queue exists.
    asio::io_context& context();

  private:
    struct Core;
    static asio::io_context& contextOf(Core& core);
    void runAndWait(const std::function<void()>& work);

    std::shared_ptr<Core> core_;
};

template <class F>
std::invoke_result_t<F&> SerialQueue::sync(F&& work) {
    using Result = std::invoke_result_t<F&>;
    if (isCurrent()) {
        return work();
    }
    std::exception_ptr failure;
    if constexpr (std::is_void_v<Result>) {
        runAndWait([&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure) {
            std::rethrow_exception(failure);
        }
    } else {
        std::optional<Result> result;
        runAndWait([&] {
            try {
                result.emplace(work());
            } catch (...) {
                failure = std::current_exception();
            }
        });
        if (failure) {
            std::rethrow_exception(failure);
        }
        return std::move(*result);
    }
}

}  // namespace platform::dispatch
