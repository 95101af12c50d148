#include "Platform/Dispatch/Coroutines.h"
#include "Platform/Dispatch/ManualExecutor.h"
#include "PlatformDispatchTests/RuntimeJournal.h"
#include "Support/Eventually.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using dispatchtests::RuntimeJournal;
using namespace platform::dispatch;
using testing::ElementsAre;

// A stand-in for a transport: the call hands out its completer and awaits it.
struct PendingCall {
    std::optional<Completer<int>> completer;
    std::optional<int> value;
    std::string error;
    int resumptions = 0;
    std::thread::id resumedOn;
};

Task<void> awaitCall(PendingCall* call) {
    Completion<int> reply;
    call->completer = reply.completer();
    try {
        call->value = co_await reply;
    } catch (const std::exception& error) {
        call->error = error.what();
    }
    ++call->resumptions;
    call->resumedOn = std::this_thread::get_id();
}

std::exception_ptr failure(const std::string& text) {
    return std::make_exception_ptr(std::runtime_error(text));
}

TEST(CompletionTests, TheFirstOutcomeWinsAndLaterOnesAreDropped) {
    using Step = std::function<bool(const Completer<int>&)>;
    const Step reply1 = [](const Completer<int>& c) { return c.complete(1); };
    const Step reply2 = [](const Completer<int>& c) { return c.complete(2); };
    const Step timeout = [](const Completer<int>& c) { return c.fail(failure("did not respond")); };
    const Step nothing = [](const Completer<int>& c) { return c.fail(nullptr); };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        std::vector<bool> accepted;
        std::optional<int> value;
        std::string error;
    };
    const Case cases[] = {
        {"reply only", {reply1}, {true}, 1, ""},
        {"reply then timeout", {reply1, timeout}, {true, false}, 1, ""},
        {"timeout then late reply",
         {timeout, reply1},
         {true, false},
         std::nullopt,
         "did not respond"},
        {"two replies", {reply2, reply1}, {true, false}, 2, ""},
        {"a failure without an exception",
         {nothing, reply1},
         {true, false},
         std::nullopt,
         "A completion was failed without an exception."},
    };
    for (const auto& c : cases) {
        for (bool beforeAwait : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (beforeAwait ? ", before the await" : ""));
            ManualExecutor executor;
            TaskScope scope(executor);
            PendingCall call;
            scope.spawn(awaitCall(&call));
            std::vector<bool> accepted;
            auto settle = [&] {
                for (const auto& step : c.steps) {
                    accepted.push_back(step(*call.completer));
                }
            };
            if (beforeAwait) {
                // The completion is settled while the task has not reached its await.
                executor.post(settle);
                executor.runUntilIdle();
            } else {
                executor.runUntilIdle();
                ASSERT_TRUE(call.completer);
                settle();
                EXPECT_EQ(call.resumptions, 0) << "never resumed inline";
                executor.runUntilIdle();
            }
            EXPECT_EQ(accepted, c.accepted);
            EXPECT_EQ(call.value, c.value);
            EXPECT_EQ(call.error, c.error);
            EXPECT_EQ(call.resumptions, 1);
            EXPECT_TRUE(call.completer->isCompleted());
        }
    }
}

Task<void> noteWhetherCallerIsInside(RuntimeJournal* journal, std::optional<Completer<>>* out,
                                     const bool* callerInside) {
    Completion<> done;
    *out = done.completer();
    co_await done;
    journal->add(*callerInside ? "resumed inside the caller" : "resumed after the caller");
}

TEST(CompletionTests, ResumesInALaterStepNotInsideTheCompletingCall) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    TaskScope scope(executor);
    std::optional<Completer<>> completer;
    bool callerInside = false;
    scope.spawn(noteWhetherCallerIsInside(&journal, &completer, &callerInside));
    executor.runUntilIdle();
    // As a reply handler would: complete while holding its own state.
    executor.post([&] {
        callerInside = true;
        EXPECT_TRUE(completer->complete());
        callerInside = false;
    });
    executor.runUntilIdle();
    EXPECT_THAT(journal.entries(), ElementsAre("resumed after the caller@0"));
}

TEST(CompletionTests, ACompletionFromAnotherThreadResumesOnTheMainThread) {
    ManualExecutor executor;
    TaskScope scope(executor);
    PendingCall call;
    scope.spawn(awaitCall(&call));
    executor.runUntilIdle();
    std::thread transport([completer = *call.completer] { completer.complete(11); });
    transport.join();
    EXPECT_EQ(call.resumptions, 0);
    ASSERT_TRUE(executor.runUntil([&] { return call.resumptions > 0; },
                                  ventrella::testsupport::eventDeadlineSeconds));
    EXPECT_EQ(call.value, 11);
    EXPECT_EQ(call.resumedOn, std::this_thread::get_id());
}

Task<void> callThenSleep(RuntimeJournal* journal, std::optional<Completer<int>>* out) {
    Completion<int> reply;
    *out = reply.completer();
    const int value = co_await reply;
    journal->add("reply " + std::to_string(value));
    journal->add(co_await sleepFor(1.0) ? "slept" : "sleep cancelled");
}

TEST(CompletionTests, ACancelledTaskStillReceivesItsReply) {
    ManualExecutor executor;
    RuntimeJournal journal(executor);
    TaskScope scope(executor);
    std::optional<Completer<int>> completer;
    TaskHandle handle = scope.spawn(callThenSleep(&journal, &completer));
    executor.runUntilIdle();
    handle.cancel();
    executor.advanceBy(30.0);
    EXPECT_TRUE(journal.entries().empty()) << "a cancelled call keeps waiting for its outcome";
    completer->complete(4);
    executor.runUntilIdle();
    EXPECT_THAT(journal.entries(), ElementsAre("reply 4@30", "sleep cancelled@30"));
}

// Reply, connection error and timeout race from three threads, many times over:
// each call is settled by exactly one of them and resumed exactly once.
TEST(CompletionTests, RacingCompletersSettleEachCallExactlyOnce) {
    constexpr int kCalls = 2000;
    ManualExecutor executor;
    TaskScope scope(executor);
    std::vector<PendingCall> calls(kCalls);
    for (auto& call : calls) {
        scope.spawn(awaitCall(&call));
    }
    executor.runUntilIdle();
    std::atomic<int> wins{0};
    auto racer = [&](int which) {
        for (auto& call : calls) {
            const bool won = which == 1 ? call.completer->fail(failure("connection error"))
                                        : call.completer->complete(which);
            wins += won ? 1 : 0;
        }
    };
    std::vector<std::thread> racers;
    for (int which = 0; which < 3; ++which) {
        racers.emplace_back(racer, which);
    }
    int resumed = 0;
    ASSERT_TRUE(executor.runUntil(
        [&] {
            resumed = 0;
            for (const auto& call : calls) {
                resumed += call.resumptions;
            }
            return resumed == kCalls;
        },
        ventrella::testsupport::eventDeadlineSeconds));
    for (auto& thread : racers) {
        thread.join();
    }
    executor.runUntilIdle();
    EXPECT_EQ(wins.load(), kCalls);
    for (const auto& call : calls) {
        ASSERT_EQ(call.resumptions, 1);
        const bool replied = call.value == 0 || call.value == 2;
        const bool failed = !call.value && call.error == "connection error";
        ASSERT_TRUE(replied != failed);
    }
    EXPECT_EQ(scope.activeCount(), 0u);
}

// The owner goes away while the calls are being completed from other threads.
TEST(CompletionTests, CompletionsRacingTheOwnersDestructionAreDropped) {
    constexpr int kRounds = 200;
    constexpr int kCalls = 20;
    for (int round = 0; round < kRounds; ++round) {
        ManualExecutor executor;
        std::vector<PendingCall> calls(kCalls);
        std::vector<Completer<int>> completers;
        std::thread transport;
        {
            TaskScope scope(executor);
            for (auto& call : calls) {
                scope.spawn(awaitCall(&call));
            }
            executor.runUntilIdle();
            for (auto& call : calls) {
                completers.push_back(*call.completer);
            }
            transport = std::thread([&completers] {
                for (const auto& completer : completers) {
                    completer.complete(1);
                }
            });
            executor.runReady();
            // The scope ends here, while the transport may still be completing.
        }
        transport.join();
        executor.runUntilIdle();
        for (const auto& call : calls) {
            ASSERT_LE(call.resumptions, 1);
        }
    }
}

}  // namespace
