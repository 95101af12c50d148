#include "Platform/Dispatch/Coroutines.h"
#include "Platform/Dispatch/ManualExecutor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace platform::dispatch;
using testing::ElementsAre;

enum class Wait { sleep, completion, detachedWork, childTask };

struct FrameGuard {
    std::vector<std::string>* events;
    ~FrameGuard() { events->push_back("frame destroyed"); }
};

Task<void> childSleep() {
    (void)co_await sleepFor(5.0);
}

// An owner whose coroutine uses its members after every await, as the model's do.
class Owner {
  public:
    Owner(ManualExecutor& executor, std::vector<std::string>* events)
        : events_(events), scope(executor) {}

    Task<void> waitThenUseMembers(Wait wait, std::atomic<bool>* workRan) {
        FrameGuard guard{events_};
        switch (wait) {
            case Wait::sleep:
                (void)co_await sleepFor(5.0);
                break;
            case Wait::completion: {
                Completion<int> reply;
                completer = reply.completer();
                (void)co_await reply;
                break;
            }
            case Wait::detachedWork:
                (void)co_await detached([workRan] {
                    *workRan = true;
                    return 1;
                });
                break;
            case Wait::childTask:
                co_await childSleep();
                break;
        }
        events_->push_back(name_ + " resumed");
    }

    std::optional<Completer<int>> completer;

  private:
    std::string name_ = "owner";
    std::vector<std::string>* events_;

  public:
    TaskScope scope;
};

TEST(DestroyedOwnerTests, NothingResumesIntoADestroyedOwner) {
    struct Case {
        const char* name;
        Wait wait;
        bool started;
    };
    const Case cases[] = {
        {"sleeping", Wait::sleep, true},
        {"awaiting a completion", Wait::completion, true},
        {"awaiting detached work", Wait::detachedWork, true},
        {"awaiting a child task", Wait::childTask, true},
        {"not yet started", Wait::sleep, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ManualExecutor executor;
        std::vector<std::string> events;
        std::atomic<bool> workRan{false};
        auto owner = std::make_unique<Owner>(executor, &events);
        TaskHandle handle = owner->scope.spawn(owner->waitThenUseMembers(c.wait, &workRan));
        if (c.started) {
            executor.runReady();
        }
        auto completer = owner->completer;
        owner.reset();
        EXPECT_EQ(events.size(), c.started ? 1u : 0u) << "the frame goes with its owner";
        EXPECT_TRUE(handle.isFinished());
        EXPECT_TRUE(handle.isCancelled());

        // What was awaited arrives late.
        if (completer) {
            EXPECT_TRUE(completer->complete(1));
        }
        executor.advanceBy(10.0);
        executor.runUntilIdle();
        if (c.wait == Wait::detachedWork) {
            EXPECT_TRUE(workRan) << "detached work runs to its end";
        }
        if (c.started) {
            EXPECT_THAT(events, ElementsAre("frame destroyed"));
        } else {
            EXPECT_TRUE(events.empty());
        }
    }
}

}  // namespace
