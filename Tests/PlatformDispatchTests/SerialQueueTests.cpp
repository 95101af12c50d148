#include "Platform/Dispatch/SerialQueue.h"
#include "Support/Eventually.h"

#include <gtest/gtest.h>

#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using platform::dispatch::SerialQueue;

TEST(SerialQueueTests, RunsWorkInSubmissionOrderOnItsOwnThread) {
    SerialQueue queue("test.order");
    EXPECT_EQ(queue.label(), "test.order");
    EXPECT_FALSE(queue.isCurrent());

    std::vector<int> seen;
    std::vector<std::thread::id> threads;
    std::vector<bool> current;
    for (int i = 0; i < 100; ++i) {
        queue.async([&, i] {
            seen.push_back(i);
            threads.push_back(std::this_thread::get_id());
            current.push_back(queue.isCurrent());
        });
    }
    queue.sync([] {});

    ASSERT_EQ(seen.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(seen[i], i);
        EXPECT_EQ(threads[i], threads[0]);
        EXPECT_TRUE(current[i]);
    }
    EXPECT_NE(threads[0], std::this_thread::get_id());
}

TEST(SerialQueueTests, SyncReturnsResultsRethrowsAndRunsInlineWhenNested) {
    SerialQueue queue("test.sync");
    EXPECT_EQ(queue.sync([] { return 42; }), 42);
    EXPECT_THROW(queue.sync([]() -> int { throw std::runtime_error("boom"); }), std::runtime_error);
    EXPECT_THROW(queue.sync([] { throw std::logic_error("void"); }), std::logic_error);

    // A nested sync on the queue itself must not wait for itself.
    const int nested =
        queue.sync([&] { return queue.sync([&] { return queue.isCurrent(); }) ? 7 : 0; });
    EXPECT_EQ(nested, 7);
}

TEST(SerialQueueTests, SyncWaitsForEarlierWork) {
    SerialQueue queue("test.sync-order");
    std::promise<void> release;
    auto released = release.get_future().share();
    bool earlierDone = false;
    queue.async([&, released] {
        released.wait();
        earlierDone = true;
    });
    auto waiter =
        std::async(std::launch::async, [&] { return queue.sync([&] { return earlierDone; }); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    release.set_value();
    EXPECT_TRUE(waiter.get());
}

TEST(SerialQueueTests, DestructionRunsWorkSubmittedBeforeIt) {
    int ran = 0;
    {
        SerialQueue queue("test.drain");
        for (int i = 0; i < 50; ++i) {
            queue.async([&] { ++ran; });
        }
    }
    EXPECT_EQ(ran, 50);
}

TEST(SerialQueueTests, QueueReleasedFromItsOwnWorkDoesNotDeadlock) {
    auto queue = std::make_shared<SerialQueue>("test.self-release");
    std::promise<void> done;
    auto finished = done.get_future();
    SerialQueue* raw = queue.get();
    raw->async([owner = std::move(queue), &done]() mutable {
        // Dropping the last owner here destroys the queue on its own thread.
        owner.reset();
        done.set_value();
    });
    EXPECT_EQ(finished.wait_for(ventrella::testsupport::eventDeadline), std::future_status::ready);
}

}  // namespace
