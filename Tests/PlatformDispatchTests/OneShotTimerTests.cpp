#include "Platform/Dispatch/OneShotTimer.h"
#include "Platform/Dispatch/SerialQueue.h"
#include "Support/Eventually.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace {

using platform::dispatch::OneShotTimer;
using platform::dispatch::SerialQueue;
using namespace std::chrono_literals;

// Arms a timer from the queue and keeps the queue busy right behind the arming,
// so that the timer expires while its completion cannot run yet.
class ExpiryWhileBusy {
  public:
    ExpiryWhileBusy(SerialQueue& queue, OneShotTimer& timer, std::function<void()> handler) {
        auto released = release_.get_future().share();
        std::promise<void> started;
        auto running = started.get_future();
        queue.async([&queue, &timer, handler = std::move(handler), released,
                     started = std::move(started)]() mutable {
            timer.schedule(kDelay, std::move(handler));
            // Queued behind the timer's own start-up work.
            queue.async([released, started = std::move(started)]() mutable {
                started.set_value();
                released.wait();
            });
        });
        running.wait();
        std::this_thread::sleep_for(std::chrono::duration<double>(kDelay * 3));
    }
    void release() { release_.set_value(); }

    static constexpr double kDelay = 0.03;

  private:
    std::promise<void> release_;
};

TEST(OneShotTimerTests, FiresOnceOnItsQueueAfterTheDelay) {
    SerialQueue queue("test.timer");
    OneShotTimer timer(queue);
    std::atomic<int> fired{0};
    std::promise<bool> onQueue;
    auto result = onQueue.get_future();
    const auto start = std::chrono::steady_clock::now();
    timer.schedule(0.02, [&] {
        ++fired;
        onQueue.set_value(queue.isCurrent());
    });
    EXPECT_TRUE(timer.isScheduled());
    ASSERT_EQ(result.wait_for(ventrella::testsupport::eventDeadline), std::future_status::ready);
    EXPECT_TRUE(result.get());
    EXPECT_GE(std::chrono::steady_clock::now() - start, 20ms);
    std::this_thread::sleep_for(30ms);
    queue.sync([] {});
    EXPECT_EQ(fired.load(), 1);
    EXPECT_FALSE(timer.isScheduled());
}

TEST(OneShotTimerTests, CancelledTimerNeverFiresEvenWhenAlreadyExpired) {
    SerialQueue queue("test.cancel");
    OneShotTimer timer(queue);
    std::atomic<int> fired{0};

    // Plain cancel before expiry.
    timer.schedule(0.01, [&] { ++fired; });
    timer.cancel();
    EXPECT_FALSE(timer.isScheduled());

    // Expiry passes while the queue is busy, then the cancel comes.
    ExpiryWhileBusy busy(queue, timer, [&] { ++fired; });
    timer.cancel();
    busy.release();

    std::this_thread::sleep_for(20ms);
    queue.sync([] {});
    EXPECT_EQ(fired.load(), 0);
}

TEST(OneShotTimerTests, RescheduleReplacesThePreviousFiring) {
    SerialQueue queue("test.rearm");
    OneShotTimer timer(queue);
    std::atomic<int> first{0};
    std::atomic<int> second{0};

    ExpiryWhileBusy busy(queue, timer, [&] { ++first; });
    timer.schedule(0.01, [&] { ++second; });
    busy.release();

    EXPECT_TRUE(ventrella::testsupport::eventually([&] { return second.load() == 1; }));
    queue.sync([] {});
    EXPECT_EQ(first.load(), 0);
    EXPECT_EQ(second.load(), 1);
}

TEST(OneShotTimerTests, HandlerMayRearmItsOwnTimer) {
    SerialQueue queue("test.self-rearm");
    OneShotTimer timer(queue);
    std::atomic<int> fired{0};
    std::promise<void> third;
    std::function<void()> handler = [&] {
        if (++fired < 3) {
            timer.schedule(0.001, handler);
        } else {
            third.set_value();
        }
    };
    timer.schedule(0.001, handler);
    ASSERT_EQ(third.get_future().wait_for(ventrella::testsupport::eventDeadline),
              std::future_status::ready);
    EXPECT_EQ(fired.load(), 3);
}

TEST(OneShotTimerTests, TimerDestroyedAfterExpiryNeverFires) {
    SerialQueue queue("test.destroy");
    std::atomic<int> fired{0};
    auto timer = std::make_unique<OneShotTimer>(queue);
    ExpiryWhileBusy busy(queue, *timer, [&] { ++fired; });
    timer.reset();
    busy.release();

    std::this_thread::sleep_for(20ms);
    queue.sync([] {});
    EXPECT_EQ(fired.load(), 0);
}

TEST(OneShotTimerTests, CancelFromAnotherThreadWaitsForARunningHandler) {
    SerialQueue queue("test.cancel-wait");
    OneShotTimer timer(queue);
    std::promise<void> entered;
    std::atomic<bool> finished{false};
    timer.schedule(0.0, [&] {
        entered.set_value();
        std::this_thread::sleep_for(30ms);
        finished = true;
    });
    entered.get_future().wait();
    timer.cancel();
    EXPECT_TRUE(finished.load());
}

}  // namespace
