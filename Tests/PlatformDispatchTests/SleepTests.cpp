#include "Platform/Dispatch/Coroutines.h"
#include "Platform/Dispatch/ManualExecutor.h"
#include "PlatformDispatchTests/RuntimeJournal.h"
#include "Support/Eventually.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <thread>

namespace {

using dispatchtests::RuntimeJournal;
using namespace platform::dispatch;
using testing::ElementsAre;

Task<void> sleepTwice(RuntimeJournal* journal, double first, double second) {
    journal->add(co_await sleepFor(first) ? "first slept" : "first cancelled");
    journal->add(co_await sleepFor(second) ? "second slept" : "second cancelled");
}

TEST(SleepTests, CancellationEndsSleepsEarly) {
    struct Case {
        const char* name;
        double cancelAt;  // negative: before the task has started
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"never cancelled", 100.0, {"first slept@2", "second slept@5"}},
        {"cancelled before the start", -1.0, {"first cancelled@0", "second cancelled@0"}},
        {"cancelled at the start", 0.0, {"first cancelled@0", "second cancelled@0"}},
        {"cancelled during the first", 1.0, {"first cancelled@1", "second cancelled@1"}},
        {"cancelled during the second", 3.5, {"first slept@2", "second cancelled@3.5"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualExecutor executor;
        RuntimeJournal journal(executor);
        TaskScope scope(executor);
        TaskHandle handle = scope.spawn(sleepTwice(&journal, 2.0, 3.0));
        if (c.cancelAt < 0) {
            handle.cancel();
        }
        executor.runUntilIdle();
        if (c.cancelAt >= 0 && c.cancelAt < 10.0) {
            executor.advanceTo(c.cancelAt);
            handle.cancel();
        }
        executor.advanceTo(10.0);
        EXPECT_EQ(journal.entries(), c.expected);
        EXPECT_TRUE(handle.isFinished());
        // The abandoned timer may still be due; firing it changes nothing.
        executor.advanceBy(10.0);
        EXPECT_EQ(journal.entries(), c.expected);
    }
}

TEST(SleepTests, ZeroNegativeAndNaNSecondsYieldOneStep) {
    for (double seconds : {0.0, -4.0, std::nan("")}) {
        SCOPED_TRACE(seconds);
        ManualExecutor executor(7.0);
        RuntimeJournal journal(executor);
        TaskScope scope(executor);
        scope.spawn(sleepTwice(&journal, seconds, seconds));
        executor.post([&] { journal.add("posted"); });
        executor.runUntilIdle();
        // The sleep lets the job posted before it run first.
        EXPECT_THAT(journal.entries(), ElementsAre("posted@7", "first slept@7", "second slept@7"));
    }
}

TEST(SleepTests, AnEndlessSleepEndsOnlyByCancellation) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    TaskScope scope(executor);
    TaskHandle handle =
        scope.spawn(sleepTwice(&journal, std::numeric_limits<double>::infinity(), 0.0));
    executor.advanceBy(1e9);
    EXPECT_TRUE(journal.entries().empty());
    scope.cancelAll();
    executor.runUntilIdle();
    EXPECT_THAT(journal.entries(), ElementsAre("first cancelled@1e+09", "second cancelled@1e+09"));
}

Task<void> sleepOnce(RuntimeJournal* journal, std::thread::id* resumedOn) {
    const bool slept = co_await sleepFor(60.0);
    *resumedOn = std::this_thread::get_id();
    journal->add(slept ? "slept" : "cancelled");
}

TEST(SleepTests, CancelFromAnotherThreadResumesOnTheMainThread) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    TaskScope scope(executor);
    std::thread::id resumedOn;
    TaskHandle handle = scope.spawn(sleepOnce(&journal, &resumedOn));
    executor.runUntilIdle();
    std::thread canceller([handle] { handle.cancel(); });
    canceller.join();
    EXPECT_TRUE(journal.entries().empty()) << "the cancelling thread never resumes the task";
    ASSERT_TRUE(executor.runUntil([&] { return handle.isFinished(); },
                                  ventrella::testsupport::eventDeadlineSeconds));
    EXPECT_THAT(journal.entries(), ElementsAre("cancelled@0"));
    EXPECT_EQ(resumedOn, std::this_thread::get_id());
}

}  // namespace
