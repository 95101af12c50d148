#include "Ventrella/Hardware/HelperClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "HelperClientTests/FakeHelperService.h"
#include "Platform/Dispatch/ManualExecutor.h"
#include "Platform/Dispatch/TaskScope.h"
#include "Support/AwaitedOutcome.h"
#include "Support/VirtualTimeoutScheduler.h"
#include "VentrellaShared/HelperContractJSON.h"

namespace helperclienttests {
namespace {

using namespace ventrella;
using apphardware::HelperClient;
using platform::dispatch::ManualExecutor;
using platform::dispatch::Task;
using platform::dispatch::TaskScope;
using platform::xpc::XPCError;
using testing::ElementsAre;
using testsupport::AwaitedOutcome;
using testsupport::awaitInto;

shared::FanControlResult manualAt(std::int64_t percentage) {
    shared::FanControlResult result;
    result.state = shared::HelperControlState::manual;
    result.fans = {{0, 3000, 1200, 6000, 3000, shared::FanControlMode::manual}};
    result.appliedPercentage = percentage;
    return result;
}

std::string replyText(const shared::FanControlResult& result) {
    const auto bytes = shared::encodeHelperReply(
        shared::HelperReply<shared::FanControlResult>::withPayload(result));
    return std::string(bytes.begin(), bytes.end());
}

// A client over fake connections whose timeouts run on the executor's virtual time.
struct ClientFixture {
    ManualExecutor executor;
    FakeHelperService service;
    std::shared_ptr<fakes::VirtualTimeoutScheduler> timeouts =
        std::make_shared<fakes::VirtualTimeoutScheduler>(executor);
    std::optional<HelperClient> client;
    std::vector<std::shared_ptr<AwaitedOutcome<shared::FanControlResult>>> keep;
    TaskScope scope{executor};

    ClientFixture() { client.emplace(service.factory(), timeouts); }

    // Starts applyCooling(percentage) and runs until it waits (or ended).
    std::shared_ptr<AwaitedOutcome<shared::FanControlResult>> startApply(std::int64_t percentage) {
        auto outcome = std::make_shared<AwaitedOutcome<shared::FanControlResult>>();
        scope.spawn(awaitInto(client->applyCooling(percentage), outcome.get()));
        executor.runUntilIdle();
        keep.push_back(outcome);
        return outcome;
    }

    // A complete applyCooling(60) answered at once; true when it succeeded.
    bool succeedingCall() {
        const std::size_t index = service.requestCount();
        auto outcome = startApply(60);
        if (service.requestCount() <= index) {
            return false;
        }
        service.request(index)->answer(replyText(manualAt(60)));
        executor.runUntilIdle();
        return outcome->value.has_value();
    }
};

TEST(HelperClientTests, OneConnectionServesTheCallsAndEachFinishedCallTakesItsTimeoutAlong) {
    ClientFixture fixture;
    auto answered = fixture.startApply(60);
    auto failed = fixture.startApply(70);
    // Handlers before resume, so that no event of the new connection is missed; then one proxy
    // per request on the same connection; the timeout armed after each send.
    ASSERT_EQ(fixture.service.connectionCount(), 1U);
    EXPECT_THAT(fixture.service.connection(0)->events(),
                ElementsAre("set invalidation handler", "set interruption handler", "resume",
                            "proxy", "proxy"));
    EXPECT_THAT(fixture.timeouts->delays(), ElementsAre(18.0, 18.0));
    EXPECT_EQ(fixture.timeouts->armedCount(), 2U);

    fixture.service.request(0)->answer(replyText(manualAt(60)));
    fixture.service.request(1)->fail(XPCError::Code::connectionInvalid);
    EXPECT_FALSE(answered->finished()) << "never resumed on the replying thread";
    fixture.executor.runUntilIdle();
    EXPECT_EQ(answered->value, manualAt(60));
    EXPECT_EQ(failed->errorText(), "The connection was invalidated.");
    EXPECT_EQ(fixture.timeouts->armedCount(), 0U);
}

TEST(HelperClientTests, ARequestThatCannotBeSentFailsAtOnceWithoutATimeout) {
    struct Case {
        const char* name;
        bool speaksProtocol;
        std::optional<XPCError::Code> creationFails;
        std::string error;
        std::size_t connectionsAfterRetry;
    };
    const Case cases[] = {
        // The connection stays: the retry asks the same one for a proxy again.
        {"no proxy of the protocol", false, std::nullopt, "Could not connect to Ventrella Helper.",
         1},
        {"the service cannot be named", true, XPCError::Code::socketPathTooLong,
         "The service's socket path is too long.", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ClientFixture fixture;
        fixture.service.speaksProtocol = c.speaksProtocol;
        fixture.service.creationFails = c.creationFails;
        auto failed = fixture.startApply(60);
        EXPECT_EQ(failed->errorText(), c.error);
        EXPECT_EQ(failed->resumptions, 1);
        EXPECT_TRUE(fixture.timeouts->delays().empty());
        EXPECT_EQ(fixture.service.requestCount(), 0U);

        fixture.service.speaksProtocol = true;
        fixture.service.creationFails.reset();
        EXPECT_TRUE(fixture.succeedingCall());
        EXPECT_EQ(fixture.service.connectionCount(), c.connectionsAfterRetry);
    }
}

TEST(HelperClientTests, ConnectionEventsClearOnlyTheConnectionTheyBelongTo) {
    enum class Event { invalidation, interruption, requestError };
    const Event events[] = {Event::invalidation, Event::interruption, Event::requestError};
    const char* names[] = {"invalidation", "interruption", "request error"};
    for (Event first : events) {
        for (Event late : events) {
            SCOPED_TRACE(std::string(names[static_cast<int>(first)]) + ", then a late " +
                         names[static_cast<int>(late)]);
            ClientFixture fixture;
            // Two requests wait on the first connection, so each error event has one to fail.
            auto waitingA = fixture.startApply(60);
            auto waitingB = fixture.startApply(70);
            auto old = fixture.service.connection(0);
            std::size_t nextError = 0;
            auto happen = [&](Event event) {
                switch (event) {
                    case Event::invalidation:
                        old->runInvalidationHandler();
                        break;
                    case Event::interruption:
                        old->runInterruptionHandler();
                        break;
                    case Event::requestError:
                        fixture.service.request(nextError++)
                            ->fail(XPCError::Code::connectionInterrupted);
                        break;
                }
                fixture.executor.runUntilIdle();
            };

            happen(first);
            ASSERT_TRUE(fixture.succeedingCall());
            ASSERT_EQ(fixture.service.connectionCount(), 2U) << "the next call reconnects";

            happen(late);
            ASSERT_TRUE(fixture.succeedingCall());
            EXPECT_EQ(fixture.service.connectionCount(), 2U) << "the new connection stays";
            EXPECT_EQ(fixture.service.request(fixture.service.requestCount() - 1)->connection, 1U);
        }
    }
}

TEST(HelperClientTests, NoReplyWithinEighteenSecondsFailsTheCallAndALateReplyIsDropped) {
    ClientFixture fixture;
    auto call = fixture.startApply(60);
    fixture.executor.advanceBy(17.9);
    EXPECT_FALSE(call->finished());
    fixture.executor.advanceBy(0.1);
    EXPECT_EQ(call->errorText(), "Ventrella Helper did not respond.");

    fixture.service.request(0)->answer(replyText(manualAt(60)));
    fixture.executor.runUntilIdle();
    EXPECT_EQ(call->resumptions, 1);
    EXPECT_FALSE(call->value);
    // A timeout says nothing about the connection: the same one serves the next call.
    EXPECT_TRUE(fixture.succeedingCall());
    EXPECT_EQ(fixture.service.connectionCount(), 1U);
}

TEST(HelperClientTests, ResetRemovesTheHandlersBeforeInvalidatingAndTheNextCallReconnects) {
    ClientFixture fixture;
    ASSERT_TRUE(fixture.succeedingCall());
    fixture.client->resetConnection();
    EXPECT_THAT(
        fixture.service.connection(0)->events(),
        ElementsAre("set invalidation handler", "set interruption handler", "resume", "proxy",
                    "remove invalidation handler", "remove interruption handler", "invalidate"));
    ASSERT_TRUE(fixture.succeedingCall());
    EXPECT_EQ(fixture.service.connectionCount(), 2U);

    // Letting the client go does the same to its connection.
    fixture.client.reset();
    const auto events = fixture.service.connection(1)->events();
    EXPECT_THAT(
        std::vector<std::string>(events.end() - 3, events.end()),
        ElementsAre("remove invalidation handler", "remove interruption handler", "invalidate"));
}

// Arms timeouts that a test's thread fires; cancelling waits for a firing in progress, as the
// production timer does.
class ThreadFiredTimeouts final : public apphardware::TimeoutScheduling {
  public:
    struct Armed {
        std::mutex mutex;
        bool live = true;
        std::function<void()> fire;

        void fireNow() {
            std::lock_guard lock(mutex);
            if (std::exchange(live, false)) {
                fire();
            }
        }
    };

    apphardware::ScheduledTimeout schedule(double, std::function<void()> fire) override {
        auto armed = std::make_shared<Armed>();
        armed->fire = std::move(fire);
        last = armed;
        return apphardware::ScheduledTimeout([armed] {
            std::lock_guard lock(armed->mutex);
            armed->live = false;
        });
    }

    std::shared_ptr<Armed> last;
};

TEST(HelperClientTests, ReplyErrorAndTimeoutRaceAndTheCallerGoesOnExactlyOnce) {
    constexpr int rounds = 2000;
    const std::string reply = replyText(manualAt(60));
    int replies = 0, errors = 0, timeouts = 0, abandoned = 0;

    // Three racers, set off together with this thread in every round: the reply, the
    // connection's error and the timeout of the same request.
    std::barrier<> sync(4);
    std::shared_ptr<SentRequest> request;
    std::shared_ptr<ThreadFiredTimeouts::Armed> armed;
    const std::function<void()> actions[] = {
        [&] { request->answer(reply); },
        [&] { request->fail(XPCError::Code::connectionInterrupted); },
        [&] { armed->fireNow(); },
    };
    std::atomic<bool> over{false};
    std::vector<std::thread> racers;
    for (const auto& action : actions) {
        racers.emplace_back([&sync, &action, &over] {
            for (;;) {
                sync.arrive_and_wait();
                if (over) {
                    return;
                }
                action();
                sync.arrive_and_wait();
            }
        });
    }
    auto stopRacers = [&] {
        over = true;
        sync.arrive_and_wait();
        for (auto& racer : racers) {
            racer.join();
        }
    };

    for (int round = 0; round < rounds; ++round) {
        ManualExecutor executor;
        FakeHelperService service;
        auto timer = std::make_shared<ThreadFiredTimeouts>();
        HelperClient client(service.factory(), timer);
        AwaitedOutcome<shared::FanControlResult> outcome;
        auto scope = std::make_unique<TaskScope>(executor);
        scope->spawn(awaitInto(client.applyCooling(60), &outcome));
        executor.runUntilIdle();
        // Without a request the racers would have nothing to race on: stop at once.
        if (service.requestCount() != 1 || !timer->last) {
            stopRacers();
            FAIL() << "the request was not sent";
        }
        request = service.request(0);
        armed = timer->last;

        sync.arrive_and_wait();
        // Every fourth round the owner goes while the racers run: nothing may reach its frame.
        const bool ownerGoes = round % 4 == 3;
        if (ownerGoes) {
            scope.reset();
        }
        sync.arrive_and_wait();
        executor.runUntilIdle();

        if (ownerGoes) {
            EXPECT_EQ(outcome.resumptions, 0);
            ++abandoned;
            continue;
        }
        EXPECT_EQ(outcome.resumptions, 1) << "round " << round;
        if (outcome.value) {
            EXPECT_EQ(*outcome.value, manualAt(60));
            ++replies;
        } else if (outcome.errorText() == "The connection was interrupted.") {
            ++errors;
        } else {
            EXPECT_EQ(outcome.errorText(), "Ventrella Helper did not respond.");
            ++timeouts;
        }
    }
    stopRacers();
    EXPECT_EQ(replies + errors + timeouts + abandoned, rounds);
    RecordProperty("replies", replies);
    RecordProperty("errors", errors);
    RecordProperty("timeouts", timeouts);
}

TEST(HelperClientTests, ASynchronousRestoreGivesUpWithoutAProxyAndIgnoresALateReply) {
    ManualExecutor executor;
    FakeHelperService service;
    HelperClient client(service.factory(),
                        std::make_shared<fakes::VirtualTimeoutScheduler>(executor));
    service.speaksProtocol = false;
    auto start = std::chrono::steady_clock::now();
    client.restoreAutomaticSynchronously(60.0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(service.requestCount(), 0U);

    service.speaksProtocol = true;
    start = std::chrono::steady_clock::now();
    client.restoreAutomaticSynchronously(0.05);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    ASSERT_EQ(service.requestCount(), 1U);
    // The wait is gone; its signal is shared with the late reply and error, which find it.
    const auto request = service.request(0);
    request->answer(R"({"protocolVersion":4})");
    request->fail(XPCError::Code::connectionInterrupted);
    EXPECT_TRUE(request->reply->hasReplied());
}

}  // namespace
}  // namespace helperclienttests
