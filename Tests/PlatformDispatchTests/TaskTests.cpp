#include "Platform/Dispatch/Coroutines.h"
#include "Platform/Dispatch/ManualExecutor.h"
#include "PlatformDispatchTests/RuntimeJournal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using dispatchtests::RuntimeJournal;
using namespace platform::dispatch;
using testing::ElementsAre;

Task<void> sleeper(RuntimeJournal* journal, std::string name, double seconds) {
    journal->add(name + " start");
    const bool slept = co_await sleepFor(seconds);
    journal->add(name + (slept ? " woke" : " cancelled"));
}

Task<int> valueOf(int value) {
    co_return value;
}

Task<int> valueAfter(int value, double seconds) {
    (void)co_await sleepFor(seconds);
    co_return value;
}

Task<int> failAfter(double seconds, std::string message) {
    if (seconds > 0) {
        (void)co_await sleepFor(seconds);
    }
    throw std::runtime_error(message);
}

Task<int> sumOf(Task<int> first, Task<int> second) {
    const int a = co_await std::move(first);
    const int b = co_await std::move(second);
    co_return a + b;
}

struct Outcome {
    std::optional<int> value;
    std::string error;
};

Task<void> capture(Task<int> task, Outcome* outcome) {
    try {
        outcome->value = co_await std::move(task);
    } catch (const std::exception& error) {
        outcome->error = error.what();
    }
}

class CollectingScope {
  public:
    explicit CollectingScope(ManualExecutor& executor)
        : scope(executor, [this](std::exception_ptr failure) { record(failure); }) {}

    std::vector<std::string> failures;
    TaskScope scope;

  private:
    void record(std::exception_ptr failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception& error) {
            failures.push_back(error.what());
        }
    }
};

TEST(TaskTests, SpawnedTasksStartLaterInOrderAndSleepsWakeByDeadline) {
    ManualExecutor executor(10.0);
    RuntimeJournal journal(executor);
    TaskScope scope(executor);
    scope.spawn(sleeper(&journal, "a", 2.0));
    scope.spawn(sleeper(&journal, "b", 1.0));
    scope.spawn(sleeper(&journal, "c", 1.0));
    executor.post([&] { journal.add("posted"); });
    EXPECT_TRUE(journal.entries().empty()) << "spawn never runs a task inline";

    executor.runUntilIdle();
    EXPECT_THAT(journal.entries(),
                ElementsAre("a start@10", "b start@10", "c start@10", "posted@10"));

    journal.clear();
    executor.advanceBy(5.0);
    // Equal deadlines wake in the order the sleeps began.
    EXPECT_THAT(journal.entries(), ElementsAre("b woke@11", "c woke@11", "a woke@12"));
    EXPECT_EQ(executor.uptime(), 15.0);
    EXPECT_EQ(scope.activeCount(), 0u);
}

Task<void> parentOfInlineChild(RuntimeJournal* journal) {
    journal->add("parent before");
    const int value = co_await valueOf(7);
    journal->add("parent after " + std::to_string(value));
}

TEST(TaskTests, AwaitingATaskRunsItWithinTheSameStep) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    TaskScope scope(executor);
    TaskHandle handle = scope.spawn(parentOfInlineChild(&journal));
    EXPECT_FALSE(handle.isFinished());
    ASSERT_TRUE(executor.runOne());
    EXPECT_THAT(journal.entries(), ElementsAre("parent before@0", "parent after 7@0"));
    EXPECT_TRUE(handle.isFinished());
    EXPECT_FALSE(executor.runOne());
}

TEST(TaskTests, ValuesAndExceptionsCrossAwaits) {
    struct Case {
        const char* name;
        std::function<Task<int>()> make;
        std::optional<int> value;
        std::string error;
    };
    const Case cases[] = {
        {"value at once", [] { return valueOf(3); }, 3, ""},
        {"value after a sleep", [] { return valueAfter(4, 2.0); }, 4, ""},
        {"nested values", [] { return sumOf(valueAfter(1, 1.0), valueOf(2)); }, 3, ""},
        {"thrown before any suspension", [] { return failAfter(0, "early"); }, std::nullopt,
         "early"},
        {"thrown after a sleep", [] { return failAfter(1.0, "late"); }, std::nullopt, "late"},
        {"thrown by a nested task after its sibling",
         [] { return sumOf(valueAfter(1, 1.0), failAfter(1.0, "second")); }, std::nullopt,
         "second"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualExecutor executor;
        TaskScope scope(executor);
        Outcome outcome;
        scope.spawn(capture(c.make(), &outcome));
        executor.advanceBy(10.0);
        EXPECT_EQ(outcome.value, c.value);
        EXPECT_EQ(outcome.error, c.error);
        EXPECT_EQ(scope.activeCount(), 0u);
    }
}

// The shape g++ 12 needs: keep the exception, leave the handler, await, rethrow.
Task<void> cleanUpThenRethrow(RuntimeJournal* journal) {
    std::exception_ptr failure;
    try {
        (void)co_await failAfter(1.0, "read failed");
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        (void)co_await sleepFor(0.5);
        journal->add("cleaned up");
        std::rethrow_exception(failure);
    }
}

TEST(TaskTests, AnExceptionEndingASpawnedTaskGoesToTheScopeAndOthersGoOn) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    CollectingScope owner(executor);
    TaskHandle failing = owner.scope.spawn(cleanUpThenRethrow(&journal));
    TaskHandle healthy = owner.scope.spawn(sleeper(&journal, "other", 3.0));
    executor.advanceBy(5.0);
    EXPECT_THAT(journal.entries(), ElementsAre("other start@0", "cleaned up@1.5", "other woke@3"));
    EXPECT_THAT(owner.failures, ElementsAre("read failed"));
    EXPECT_TRUE(failing.isFinished());
    EXPECT_TRUE(healthy.isFinished());
    EXPECT_EQ(owner.scope.activeCount(), 0u);
}

Task<void> throwsNow() {
    throw std::logic_error("nobody awaits this");
    co_return;
}

TEST(TaskTests, WithoutAHandlerAnUnhandledExceptionIsWrittenToStandardError) {
    ManualExecutor executor;
    TaskScope scope(executor);
    scope.spawn(throwsNow());
    testing::internal::CaptureStderr();
    executor.runUntilIdle();
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_THAT(written, testing::HasSubstr("nobody awaits this"));
    EXPECT_EQ(scope.activeCount(), 0u);
}

Task<void> awaitEmpty(Outcome* outcome) {
    try {
        co_await Task<void>();
    } catch (const std::logic_error& error) {
        outcome->error = error.what();
    }
}

TEST(TaskTests, EmptyTasksAreRefused) {
    ManualExecutor executor;
    TaskScope scope(executor);
    EXPECT_THROW(scope.spawn(Task<void>()), std::invalid_argument);
    Outcome outcome;
    scope.spawn(awaitEmpty(&outcome));
    executor.runUntilIdle();
    EXPECT_EQ(outcome.error, "An empty task was awaited.");
}

Task<int> countSynchronously(int rounds) {
    int total = 0;
    for (int i = 0; i < rounds; ++i) {
        total += co_await valueOf(1);
    }
    co_return total;
}

TEST(TaskTests, LongChainsOfTasksThatFinishAtOnceDoNotGrowTheStack) {
    ManualExecutor executor;
    TaskScope scope(executor);
    Outcome outcome;
    scope.spawn(capture(countSynchronously(200000), &outcome));
    executor.runUntilIdle();
    EXPECT_EQ(outcome.value, 200000);
}

Task<void> reportStop(bool* stopped) {
    *stopped = (co_await currentStopToken()).stop_requested();
}

Task<void> nestedStopCheck(RuntimeJournal* journal, bool* stopped) {
    journal->add(co_await sleepFor(5.0) ? "slept" : "interrupted");
    co_await reportStop(stopped);
}

TEST(TaskTests, AwaitedTasksShareTheStopTokenOfTheSpawnedTask) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    TaskScope scope(executor);
    bool stopped = false;
    TaskHandle handle = scope.spawn(nestedStopCheck(&journal, &stopped));
    executor.advanceBy(1.0);
    handle.cancel();
    EXPECT_TRUE(handle.isCancelled());
    executor.runUntilIdle();
    EXPECT_THAT(journal.entries(), ElementsAre("interrupted@1"));
    EXPECT_TRUE(stopped);
    EXPECT_TRUE(handle.isFinished());
}

}  // namespace
