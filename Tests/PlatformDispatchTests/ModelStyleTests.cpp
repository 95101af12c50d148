#include "Platform/Dispatch/Coroutines.h"
#include "Platform/Dispatch/ManualExecutor.h"
#include "PlatformDispatchTests/RuntimeJournal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <deque>
#include <optional>
#include <stop_token>
#include <string>

namespace {

using dispatchtests::RuntimeJournal;
using namespace platform::dispatch;
using testing::ElementsAre;

// A small model built the way the application's is: a monitoring loop that reads
// off the main thread, asks a helper through a completion, sleeps between rounds
// and is cancelled at termination; and a transient status that a newer one
// replaces.
class MiniModel {
  public:
    MiniModel(ManualExecutor& executor, RuntimeJournal& journal)
        : executor_(executor), journal_(journal), tasks_(executor) {}

    void startMonitoring() { monitorTask_ = tasks_.spawn(monitorLoop()); }

    void showTransientStatus(const std::string& text) {
        transientTask_.cancel();
        status = text;
        transientTask_ = tasks_.spawn(clearStatusLater());
    }

    void terminate() {
        monitorTask_.cancel();
        transientTask_.cancel();
    }

    std::string status = "idle";
    std::atomic<int> temperature{50};
    std::deque<Completer<int>> helperCalls;

  private:
    Task<int> applyCooling(int percentage) {
        Completion<int> reply;
        helperCalls.push_back(reply.completer());
        journal_.add("apply " + std::to_string(percentage));
        co_return co_await reply;
    }

    Task<void> monitorLoop() {
        for (;;) {
            const std::stop_token stop = co_await currentStopToken();
            if (stop.stop_requested()) {
                co_return;
            }
            const double now = executor_.uptime();
            const int reading = co_await detached([this] { return temperature.load(); });
            journal_.add("read " + std::to_string(reading) + " at " + std::to_string(int(now)));
            if (reading > 80) {
                const int applied = co_await applyCooling(60);
                journal_.add("applied " + std::to_string(applied));
            }
            const bool slept = co_await sleepFor(3.0);
            if (!slept) {
                journal_.add("monitor stopped");
                co_return;
            }
        }
    }

    Task<void> clearStatusLater() {
        const bool slept = co_await sleepFor(3.0);
        if (!slept) {
            co_return;
        }
        status = "idle";
        journal_.add("status cleared");
    }

    ManualExecutor& executor_;
    RuntimeJournal& journal_;
    TaskHandle monitorTask_;
    TaskHandle transientTask_;
    TaskScope tasks_;
};

TEST(ModelStyleTests, MonitoringHelperCallsTransientStatusAndTermination) {
    ManualExecutor executor(1000.0);
    RuntimeJournal journal(executor);
    MiniModel model(executor, journal);
    model.startMonitoring();
    executor.runUntilIdle();
    EXPECT_THAT(journal.entries(), ElementsAre("read 50 at 1000@1000"));

    // Hot: the next round asks the helper and waits for its reply across sleeps.
    model.temperature = 90;
    executor.advanceBy(3.0);
    ASSERT_EQ(model.helperCalls.size(), 1u);
    executor.advanceBy(10.0);
    model.helperCalls.front().complete(60);
    executor.runUntilIdle();

    // A newer transient status replaces the older one, which clears nothing.
    model.showTransientStatus("saved");
    executor.advanceBy(2.0);
    model.showTransientStatus("saved again");
    executor.advanceBy(2.0);
    EXPECT_EQ(model.status, "saved again");

    // Termination finds the loop waiting for a helper call, which runs to its
    // end; the loop then stops at its sleep.
    model.terminate();
    executor.advanceBy(5.0);
    ASSERT_EQ(model.helperCalls.size(), 2u);
    model.helperCalls.back().complete(60);
    executor.runUntilIdle();
    EXPECT_EQ(model.status, "saved again");
    EXPECT_THAT(journal.entries(),
                ElementsAre("read 50 at 1000@1000", "read 90 at 1003@1003", "apply 60@1003",
                            "applied 60@1013", "read 90 at 1016@1016", "apply 60@1016",
                            "applied 60@1022", "monitor stopped@1022"));
}

}  // namespace
