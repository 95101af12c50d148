#include "Support/Eventually.h"
#include "Ventrella/Hardware/DispatchTimeoutScheduler.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using ventrella::apphardware::DispatchTimeoutScheduler;
using ventrella::apphardware::ScheduledTimeout;
using namespace std::chrono_literals;

TEST(DispatchTimeoutSchedulerTests, FiresOnceOnItsQueueUnlessCancelledOrLetGo) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> fired;
    std::thread::id firingThread;
    auto note = [&](int which) {
        return [&, which] {
            {
                std::lock_guard lock(mutex);
                fired.push_back(which);
                firingThread = std::this_thread::get_id();
            }
            changed.notify_all();
        };
    };

    DispatchTimeoutScheduler scheduler;
    const auto start = std::chrono::steady_clock::now();
    ScheduledTimeout kept = scheduler.schedule(0.05, note(1));
    ScheduledTimeout cancelled = scheduler.schedule(0.02, note(2));
    cancelled.cancel();
    scheduler.schedule(0.02, note(3));  // let go at once
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, ventrella::testsupport::eventDeadline,
                                     [&] { return !fired.empty(); }));
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    std::this_thread::sleep_for(100ms);
    std::lock_guard lock(mutex);
    EXPECT_EQ(fired, std::vector<int>{1});
    EXPECT_NE(firingThread, std::this_thread::get_id());
}

}  // namespace
