#include "Platform/Dispatch/Coroutines.h"
#include "Platform/Dispatch/ManualExecutor.h"
#include "PlatformDispatchTests/RuntimeJournal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

using dispatchtests::RuntimeJournal;
using namespace platform::dispatch;
using testing::ElementsAre;

struct Threads {
    std::thread::id worker;
    std::thread::id resumed;
};

Task<void> readValue(RuntimeJournal* journal, Threads* threads, std::string name, int value) {
    journal->add(name + " asks");
    const int result = co_await detached([threads, value] {
        threads->worker = std::this_thread::get_id();
        return value;
    });
    threads->resumed = std::this_thread::get_id();
    journal->add(name + " got " + std::to_string(result));
}

Task<void> readFailing(RuntimeJournal* journal, Threads* threads) {
    try {
        co_await detached([threads] {
            threads->worker = std::this_thread::get_id();
            throw std::out_of_range("sensor key missing");
        });
    } catch (const std::out_of_range& error) {
        threads->resumed = std::this_thread::get_id();
        journal->add(std::string("caught ") + error.what());
    }
}

Task<void> readMoveOnly(RuntimeJournal* journal) {
    auto owned = co_await detached([] { return std::make_unique<int>(42); });
    journal->add("owned " + std::to_string(*owned));
}

TEST(DetachedTests, WorkRunsOnAWorkerAndTheTaskResumesOnTheMainThread) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    TaskScope scope(executor);
    Threads value;
    Threads failure;
    scope.spawn(readValue(&journal, &value, "a", 5));
    scope.spawn(readFailing(&journal, &failure));
    scope.spawn(readMoveOnly(&journal));
    executor.runUntilIdle();
    EXPECT_THAT(journal.entries(),
                ElementsAre("a asks@0", "a got 5@0", "caught sensor key missing@0", "owned 42@0"));
    const auto main = std::this_thread::get_id();
    for (const Threads* threads : {&value, &failure}) {
        EXPECT_NE(threads->worker, std::thread::id());
        EXPECT_NE(threads->worker, main);
        EXPECT_EQ(threads->resumed, main);
    }
}

TEST(DetachedTests, OtherMainThreadWorkCanBeSteppedInWhileTheWorkWaits) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    TaskScope scope(executor);
    Threads first;
    Threads second;
    scope.spawn(readValue(&journal, &first, "first", 1));
    scope.spawn(readValue(&journal, &second, "second", 2));
    EXPECT_EQ(executor.runReady(), 2u);
    EXPECT_EQ(executor.pendingDetachedCount(), 2u);
    executor.post([&] { journal.add("user toggles control"); });
    executor.runReady();
    executor.runUntilIdle();
    // Results come back in the order the work was started.
    EXPECT_THAT(journal.entries(),
                ElementsAre("first asks@0", "second asks@0", "user toggles control@0",
                            "first got 1@0", "second got 2@0"));
    EXPECT_EQ(executor.pendingDetachedCount(), 0u);
}

Task<void> readThenSleep(RuntimeJournal* journal) {
    const int value = co_await detached([] { return 9; });
    journal->add("read " + std::to_string(value));
    journal->add(co_await sleepFor(3.0) ? "slept" : "sleep cancelled");
}

TEST(DetachedTests, CancellationLetsTheWorkFinishAndStopsTheNextSleep) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    TaskScope scope(executor);
    TaskHandle handle = scope.spawn(readThenSleep(&journal));
    executor.runReady();
    handle.cancel();
    executor.runUntilIdle();
    EXPECT_THAT(journal.entries(), ElementsAre("read 9@0", "sleep cancelled@0"));
    EXPECT_TRUE(handle.isFinished());
}

}  // namespace
