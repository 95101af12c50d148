#pragma once

#include <functional>

namespace platform::dispatch {

// Where the application model's coroutines run: one main thread (or loop) that
// runs posted work one item at a time, a clock of uptime seconds for sleeps,
// and workers for blocking work.
//
// post, postAt and runDetached may be called from any thread and never run the
// work inline. An adapter for a GUI toolkit posts to its GUI thread, arms a
// single-shot timer of the toolkit for postAt, and hands runDetached to a
// WorkerThreads.
//
// The executor must outlive every TaskScope that uses it; its destructor waits
// for detached work that has started.
class MainExecutor {
  public:
    using Job = std::function<void()>;

    virtual ~MainExecutor() = default;

    // Runs job on the main thread, after the work item that is running now.
    virtual void post(Job job) = 0;

    // Runs job on the main thread once uptime() has reached deadline; at once
    // (as a post) when it already has. Jobs of equal deadlines run in the order
    // they were scheduled. There is no cancel: a job checks whether it is still
    // wanted.
    virtual void postAt(double deadline, Job job) = 0;

    // Seconds of uptime on this executor's clock; never goes backwards.
    virtual double uptime() const = 0;

    // Runs work on a worker thread. The work posts its own result back.
    virtual void runDetached(Job work) = 0;
};

}  // namespace platform::dispatch
