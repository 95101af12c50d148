#include "Platform/Dispatch/ManualExecutor.h"
#include "PlatformDispatchTests/RuntimeJournal.h"
#include "Support/Eventually.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <thread>

namespace {

using dispatchtests::RuntimeJournal;
using platform::dispatch::ManualExecutor;
using testing::ElementsAre;

TEST(ManualExecutorTests, AdvancingFiresEachTimerAtItsOwnTimeAndWhatItCauses) {
    ManualExecutor executor(100.0);
    RuntimeJournal journal(executor);
    executor.postAt(103.0, [&] { journal.add("c"); });
    executor.postAt(101.0, [&] {
        journal.add("a");
        executor.post([&] { journal.add("a's follow-up"); });
        executor.postAt(102.0, [&] { journal.add("scheduled by a"); });
        executor.postAt(110.0, [&] { journal.add("beyond"); });
    });
    executor.postAt(101.0, [&] { journal.add("b"); });
    executor.postAt(99.0, [&] { journal.add("already due"); });

    EXPECT_EQ(executor.nextDeadline(), 101.0);
    executor.advanceBy(4.0);
    EXPECT_THAT(journal.entries(), ElementsAre("already due@100", "a@101", "a's follow-up@101",
                                               "b@101", "scheduled by a@102", "c@103"));
    EXPECT_EQ(executor.uptime(), 104.0);
    EXPECT_EQ(executor.nextDeadline(), 110.0);

    journal.clear();
    executor.advanceTo(110.0);
    EXPECT_THAT(journal.entries(), ElementsAre("beyond@110"));
    EXPECT_FALSE(executor.nextDeadline());
    // Time only moves forward.
    EXPECT_THROW(executor.advanceTo(109.0), std::invalid_argument);
    EXPECT_THROW(executor.advanceBy(std::nan("")), std::invalid_argument);
    EXPECT_EQ(executor.uptime(), 110.0);
}

TEST(ManualExecutorTests, StepsRunReadyJobsBeforeDetachedWork) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    executor.runDetached([&] { executor.post([&] { journal.add("detached result"); }); });
    executor.post([&] { journal.add("first"); });
    executor.post([&] { journal.add("second"); });

    EXPECT_TRUE(executor.runOne());
    EXPECT_THAT(journal.entries(), ElementsAre("first@0"));
    EXPECT_EQ(executor.runReady(), 1u);
    EXPECT_EQ(executor.pendingDetachedCount(), 1u);
    EXPECT_TRUE(executor.runOne());
    EXPECT_THAT(journal.entries(), ElementsAre("first@0", "second@0", "detached result@0"));
    EXPECT_FALSE(executor.runOne());
    EXPECT_EQ(executor.runUntilIdle(), 0u);
}

TEST(ManualExecutorTests, RunUntilWaitsForPostsFromOtherThreadsWithinItsLimit) {
    ManualExecutor executor;
    bool arrived = false;
    std::thread poster([&] { executor.post([&] { arrived = true; }); });
    EXPECT_TRUE(
        executor.runUntil([&] { return arrived; }, ventrella::testsupport::eventDeadlineSeconds));
    poster.join();

    // Nothing comes: the limit is a real bound.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(executor.runUntil([] { return false; }, 0.05));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
}

}  // namespace
