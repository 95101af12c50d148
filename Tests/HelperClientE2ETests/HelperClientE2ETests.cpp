#include "Ventrella/Hardware/HelperClient.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Dispatch/RunLoopExecutor.h"
#include "Platform/Dispatch/TaskScope.h"
#include "Support/AwaitedOutcome.h"
#include "Support/LocalUser.h"
#include "Support/ObservedHelperConnections.h"
#include "Support/ScopedEnvironment.h"
#include "Ventrella/Hardware/DispatchTimeoutScheduler.h"
#include "Ventrella/Hardware/XPCHelperConnection.h"
#include "VentrellaHelperE2ETests/SimulatedMac.h"

namespace ventrella::e2e {
namespace {

using apphardware::HelperClient;
using apphardware::XPCHelperConnection;
using platform::dispatch::RunLoopExecutor;
using platform::dispatch::Task;
using platform::dispatch::TaskScope;
using testsupport::AwaitedOutcome;

template <class T>
Task<void> awaitThenStop(Task<T> task, AwaitedOutcome<T>* outcome, RunLoopExecutor* loop) {
    co_await testsupport::awaitInto(std::move(task), outcome);
    loop->stop();
}

// This process as the application on a simulated Mac whose helper runs as its daemon: the
// production client (privileged connection, real-time reply timeout) on a plain run loop, run by
// threads of the application's ordinary user (which so make every connection to the helper).
struct ApplicationOnSimulatedMac {
    SimulatedMac mac;
    testsupport::LocalUser user = testsupport::LocalUser::application();
    testsupport::ScopedEnvironment environment{{"VIRTUAL_MAC_ROOT", mac.root().string()}};
    testsupport::ObservedHelperConnections connections{XPCHelperConnection::factory()};
    HelperClient client{connections.factory(),
                        std::make_shared<apphardware::DispatchTimeoutScheduler>()};
    RunLoopExecutor loop;
    TaskScope scope{loop};

    template <class T>
    AwaitedOutcome<T> run(Task<T> task) {
        AwaitedOutcome<T> outcome;
        scope.spawn(awaitThenStop(std::move(task), &outcome, &loop));
        testsupport::runAs(user, [this] { loop.run(); });
        return outcome;
    }

    // Asks for the status until the helper answers (it may still be starting), for at most the
    // bound. Every refusal on the way must be the connection's: nothing else may go wrong.
    AwaitedOutcome<shared::HelperStatus> statusOnceServing() {
        const auto deadline = std::chrono::steady_clock::now() + testsupport::eventDeadline;
        for (;;) {
            auto status = run(client.status());
            if (status.value || std::chrono::steady_clock::now() > deadline) {
                return status;
            }
            EXPECT_EQ(status.errorText().rfind("The connection was", 0), 0U) << status.errorText();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
};

bool fansAre(const nlohmann::json& status, const std::string& mode) {
    if (status["fans"].empty())
        return false;
    for (const auto& fan : status["fans"]) {
        if (fan["mode"] != mode)
            return false;
    }
    return true;
}

TEST(HelperClientE2ETests, StatusApplyAndRestoreReachTheFans) {
    ApplicationOnSimulatedMac app;
    auto status = app.statusOnceServing();
    ASSERT_TRUE(status.value) << status.errorText();
    EXPECT_EQ(status.value->state, shared::HelperControlState::automatic);
    EXPECT_FALSE(status.value->fans.empty());

    auto applied = app.run(app.client.applyCooling(60));
    ASSERT_TRUE(applied.value) << applied.errorText();
    EXPECT_EQ(applied.value->state, shared::HelperControlState::manual);
    EXPECT_EQ(applied.value->appliedPercentage, 60);
    EXPECT_EQ(applied.value->fans.size(), status.value->fans.size());
    const auto machine = app.mac.status();
    ASSERT_TRUE(fansAre(machine, "manual")) << machine.dump();
    for (const auto& fan : machine["fans"]) {
        const double minimum = fan["minimum"], maximum = fan["maximum"];
        EXPECT_NEAR(fan["target"].get<double>(), minimum + (maximum - minimum) * 0.6, 1.0);
    }

    auto restored = app.run(app.client.restoreAutomatic());
    ASSERT_TRUE(restored.value) << restored.errorText();
    EXPECT_EQ(restored.value->state, shared::HelperControlState::automatic);
    EXPECT_FALSE(restored.value->appliedPercentage);
    EXPECT_TRUE(fansAre(app.mac.status(), "automatic"));
}

TEST(HelperClientE2ETests, AfterTheHelperIsKilledTheNextCallReconnectsOnceItIsRestarted) {
    ApplicationOnSimulatedMac app;
    ASSERT_TRUE(app.statusOnceServing().value);
    const int openedBefore = app.connections.opened();
    const auto helper = app.mac.helperProcess();
    ASSERT_TRUE(helper);

    ASSERT_EQ(::kill(*helper, SIGKILL), 0);
    // The client hears of it through the connection, before it asks again.
    ASSERT_TRUE(app.connections.waitForInterruptions(1));
    ASSERT_TRUE(eventually([&] {
        const auto restarted = app.mac.helperProcess();
        return restarted && *restarted != *helper;
    }));

    auto status = app.statusOnceServing();
    ASSERT_TRUE(status.value) << status.errorText();
    EXPECT_FALSE(status.value->fans.empty());
    EXPECT_GT(app.connections.opened(), openedBefore);
}

}  // namespace
}  // namespace ventrella::e2e
