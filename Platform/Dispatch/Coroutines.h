#pragma once

// The coroutine runtime of the application model.
//
// Everything of the model runs on one main thread, given by a MainExecutor
// (ManualExecutor in tests, RunLoopExecutor headless, a GUI adapter in the
// application). Coroutines return Task<T>; an owner starts them with
// TaskScope::spawn and keeps the TaskHandle to cancel them:
//
//     class Model {
//         Task<void> monitor();            // co_awaits what follows
//         MainExecutor& executor_;
//         TaskScope tasks_{executor_};     // last member: goes first
//     };
//     TaskHandle monitorTask = tasks_.spawn(monitor());
//     ...
//     monitorTask.cancel();
//
// Inside a task:
//     co_await other();                          // a Task: runs now, value or exception
//     Snapshot s = co_await detached(read);      // read() on a worker, back on main
//     Data d = co_await completion;              // a Completion<Data> finished elsewhere
//     const bool slept = co_await sleepFor(3.0); // false: cancelled (early)
//     std::stop_token stop = co_await currentStopToken();
//     double now = executor_.uptime();           // the clock the sleeps run on
//
// Rules:
// - A spawned task starts on a later step, never inside spawn. Every sleep,
//   detached result and completion resumes the task in a step of its own on the
//   main thread; awaiting a Task runs it inline.
// - Cancelling (TaskHandle::cancel, TaskScope::cancelAll) ends sleeps early and
//   nothing else: awaited detached work and completions run to their end. Code
//   that must stop checks the result of sleepFor or currentStopToken().
// - An exception thrown in a task reaches whoever awaits it; one that ends a
//   spawned task goes to the scope's failure handler, never std::terminate.
// - Destroying a TaskScope destroys the frames of its unfinished tasks; results
//   that arrive for them later are dropped.
// - Awaited tasks inherit the executor and stop token of their awaiter.
// - For g++ 12: never co_await in the condition of an if, while, for or switch
//   (it compiles, then the coroutine crashes at its start): await into a local
//   and test that. Never co_await inside a catch handler (keep the
//   exception_ptr, leave the handler, then await and rethrow). No braced list
//   and no lambda expression inside a co_await expression: g++ 12 destroys such a
//   temporary twice, so a captured shared_ptr loses a count. Name it first
//   (auto work = [...] {...}; co_await detached(std::move(work));). Coroutine
//   lambdas take no captures (use member or free functions; parameters by value
//   or pointers to what outlives them).

#include "Platform/Dispatch/Completion.h"
#include "Platform/Dispatch/Detached.h"
#include "Platform/Dispatch/MainExecutor.h"
#include "Platform/Dispatch/Sleep.h"
#include "Platform/Dispatch/Task.h"
#include "Platform/Dispatch/TaskScope.h"
