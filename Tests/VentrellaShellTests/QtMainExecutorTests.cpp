#include "Ventrella/App/Shell/QtMainExecutor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Dispatch/Coroutines.h"
#include "UISupport/QtTestApplication.h"

namespace ventrella::shell {
namespace {

using platform::dispatch::detached;
using platform::dispatch::sleepFor;
using platform::dispatch::Task;
using platform::dispatch::TaskScope;
using uitest::QtTestApplication;

class QtMainExecutorTest : public testing::Test {
  protected:
    void SetUp() override { QtTestApplication::ensure(); }

    bool onGuiThread() const { return QThread::currentThread() == qApp->thread(); }
};

TEST_F(QtMainExecutorTest, PostsFromAnyThreadRunOnTheGuiThreadInTheirOrder) {
    QtMainExecutor executor;
    std::mutex lock;
    std::vector<std::vector<int>> seen(4);
    std::atomic<int> offThread = 0;
    std::vector<std::thread> posters;
    for (int t = 0; t < 4; ++t) {
        posters.emplace_back([&, t] {
            for (int i = 0; i < 100; ++i) {
                executor.post([&, t, i] {
                    if (!onGuiThread()) {
                        ++offThread;
                    }
                    std::lock_guard guard(lock);
                    seen[t].push_back(i);
                });
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    bool ranInline = false;
    executor.post([&] { ranInline = true; });
    EXPECT_FALSE(ranInline);
    ASSERT_TRUE(QtTestApplication::processUntil([&] { return ranInline; }));
    EXPECT_EQ(offThread, 0);
    for (const auto& list : seen) {
        ASSERT_EQ(list.size(), 100u);
        EXPECT_TRUE(std::is_sorted(list.begin(), list.end()));
    }
}

TEST_F(QtMainExecutorTest, TimedJobsRunInDeadlineOrderAndNeverEarly) {
    QtMainExecutor executor;
    std::vector<std::string> order;
    std::vector<std::string> early;
    const double now = executor.uptime();
    auto at = [&](double deadline, std::string name) {
        executor.postAt(deadline, [&, deadline, name] {
            order.push_back(name);
            if (executor.uptime() < deadline) {
                early.push_back(name);
            }
        });
    };
    at(now + 0.06, "c");
    at(now + 0.03, "a");
    at(now + 0.03, "b");
    at(now - 1.0, "due");
    std::thread([&] { at(now + 0.045, "from a worker"); }).join();
    ASSERT_TRUE(QtTestApplication::processUntil([&] { return order.size() == 5; }));
    EXPECT_EQ(order, (std::vector<std::string>{"due", "a", "b", "from a worker", "c"}));
    EXPECT_TRUE(early.empty());
}

TEST_F(QtMainExecutorTest, DetachedWorkRunsOffTheGuiThread) {
    QtMainExecutor executor;
    std::atomic<bool> workOnGui = true;
    bool resultOnGui = false;
    bool done = false;
    executor.runDetached([&] {
        workOnGui = onGuiThread();
        executor.post([&] {
            resultOnGui = onGuiThread();
            done = true;
        });
    });
    ASSERT_TRUE(QtTestApplication::processUntil([&] { return done; }));
    EXPECT_FALSE(workOnGui);
    EXPECT_TRUE(resultOnGui);
}

Task<void> sleepThenWork(QtMainExecutor* executor, std::vector<std::string>* trace) {
    trace->push_back("started");
    const bool slept = co_await sleepFor(0.02);
    trace->push_back(slept ? "slept" : "cancelled");
    const int answer = co_await detached([] { return 42; });
    trace->push_back(std::to_string(answer));
    (void)executor;
}

TEST_F(QtMainExecutorTest, DrivesTheModelsCoroutines) {
    QtMainExecutor executor;
    std::vector<std::string> trace;
    TaskScope scope(executor);
    const auto handle = scope.spawn(sleepThenWork(&executor, &trace));
    EXPECT_TRUE(trace.empty());
    ASSERT_TRUE(QtTestApplication::processUntil([&] { return handle.isFinished(); }));
    EXPECT_EQ(trace, (std::vector<std::string>{"started", "slept", "42"}));
}

TEST_F(QtMainExecutorTest, JobsNotYetRunWhenItGoesAreDropped) {
    bool ran = false;
    std::atomic<bool> worked = false;
    {
        QtMainExecutor executor;
        executor.post([&] { ran = true; });
        executor.postAt(executor.uptime() + 0.01, [&] { ran = true; });
        executor.runDetached([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            worked = true;
        });
    }
    // The destructor waited for the detached work.
    EXPECT_TRUE(worked);
    QtTestApplication::processUntil([] { return false; }, 0.05);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace ventrella::shell
