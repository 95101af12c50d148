#include "Platform/Dispatch/Coroutines.h"
#include "Platform/Dispatch/RunLoopExecutor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace platform::dispatch;
using testing::ElementsAre;

struct Trace {
    std::vector<std::string> steps;
    std::vector<std::thread::id> threads;
    void add(std::string step) {
        steps.push_back(std::move(step));
        threads.push_back(std::this_thread::get_id());
    }
};

Task<void> everyKindOfAwait(RunLoopExecutor* loop, Trace* trace, double* slept) {
    const double before = loop->uptime();
    trace->add(co_await sleepFor(0.05) ? "slept" : "cancelled");
    *slept = loop->uptime() - before;
    const int read = co_await detached([] { return 3; });
    trace->add("read " + std::to_string(read));
    Completion<std::string> reply;
    std::thread transport([completer = reply.completer()] { completer.complete("pong"); });
    const std::string answer = co_await reply;
    transport.join();
    trace->add("reply " + answer);
    loop->stop();
}

TEST(RunLoopExecutorTests, RunsTasksOnTheLoopThreadInRealTimeUntilStopped) {
    RunLoopExecutor loop;
    TaskScope scope(loop);
    Trace trace;
    double slept = 0;
    scope.spawn(everyKindOfAwait(&loop, &trace, &slept));
    loop.run();
    EXPECT_THAT(trace.steps, ElementsAre("slept", "read 3", "reply pong"));
    for (const auto& thread : trace.threads) {
        EXPECT_EQ(thread, std::this_thread::get_id());
    }
    EXPECT_GE(slept, 0.05);
    EXPECT_EQ(scope.activeCount(), 0u);
}

TEST(RunLoopExecutorTests, StopsFromAnyThreadAndAStopBeforeRunIsKept) {
    RunLoopExecutor loop;

    std::thread stopper([&] { loop.stop(); });
    loop.run();  // idle without timers until the stop
    stopper.join();

    int ran = 0;
    loop.post([&] { ++ran; });
    loop.post([&] {
        ++ran;
        loop.stop();
    });
    loop.post([&] { ++ran; });
    loop.run();
    EXPECT_EQ(ran, 2) << "run returns after the job that stopped it";
    loop.stop();
    loop.run();
    EXPECT_EQ(ran, 2) << "a stop before run makes it return at once";
    loop.post([&] { loop.stop(); });
    loop.run();
    EXPECT_EQ(ran, 3);
}

TEST(RunLoopExecutorTests, TimersFollowTheInjectedClock) {
    std::atomic<double> now{100.0};
    RunLoopExecutor loop([&] { return now.load(); });
    std::vector<std::string> fired;
    loop.postAt(99.0, [&] { fired.push_back("due"); });
    loop.postAt(101.0, [&] {
        fired.push_back("later");
        loop.stop();
    });
    loop.post([&] {
        fired.push_back("moves the clock");
        now = 101.0;
    });
    loop.run();
    EXPECT_THAT(fired, ElementsAre("moves the clock", "due", "later"));
}

}  // namespace
