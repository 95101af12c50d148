// What applications see of the simulated Mac beside its devices: the thermal state, the sleep
// and wake notifications, the settings pane and unreadable sensors, through a real
// `virtual-mac` process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <future>
#include <mutex>
#include <thread>

#include "Platform/VirtualMac/SimulatedWorkspace.h"
#include "Platform/Workspace/VirtualMacWorkspace.h"
#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCError.h"
#include "Support/Eventually.h"
#include "VentrellaSensors/VLAppleSiliconTemperatureSensors.h"
#include "VirtualMacProgram.h"

using platform::workspace::SleepAcknowledgement;
using platform::workspace::ThermalState;
using platform::workspace::VirtualMacWorkspace;
using ventrella::testsupport::eventually;
using virtualmactest::ProgramResult;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A raw connection to the workspace socket, as a misbehaving application would open it.
class RawPeer {
  public:
    explicit RawPeer(const std::filesystem::path& socket) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
        timeval timeout{ventrella::testsupport::eventDeadline.count(), 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~RawPeer() { ::close(fd_); }

    bool connected() const { return connected_; }
    void send(const std::string& bytes) {
        (void)!::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // True when the machine closes the connection (before the wait's deadline); what it sent is
    // skipped.
    bool closedByMachine() {
        char buffer[256];
        for (;;) {
            const ssize_t count = ::recv(fd_, buffer, sizeof buffer, 0);
            if (count == 0) {
                return true;
            }
            if (count < 0) {
                return errno == ECONNRESET;
            }
        }
    }

  private:
    int fd_ = -1;
    bool connected_ = false;
};

class WorkspaceProgram : public virtualmactest::VirtualMacProgram {
  protected:
    bool observersEventually(int count) {
        return statusEventually([count](const nlohmann::json& state) {
            return state["workspace"]["observers"] == count;
        });
    }

    nlohmann::json workspace() { return status()["workspace"]; }
};

}  // namespace

TEST_F(WorkspaceProgram,
       ThermalStateAndReduceMotionReachEveryObserverAndFollowAMachineThatRestarts) {
    VirtualMacWorkspace application;
    std::atomic<int> optionChanges{0};
    application.addDisplayOptionsObserver([&] { ++optionChanges; });
    EXPECT_EQ(application.thermalState(), ThermalState::nominal);
    EXPECT_FALSE(application.shouldReduceMotion());
    ASSERT_TRUE(observersEventually(1));
    for (const auto& [name, expected] :
         {std::pair{"serious", ThermalState::serious}, std::pair{"fair", ThermalState::fair},
          std::pair{"critical", ThermalState::critical}}) {
        ASSERT_EQ(run({"thermal-state", name}).status, 0);
        // clang 14 cannot capture a structured binding.
        const ThermalState state = expected;
        EXPECT_TRUE(eventually([&] { return application.thermalState() == state; })) << name;
        EXPECT_EQ(workspace()["thermalState"], name);
    }
    ASSERT_EQ(run({"accessibility", "reduce-motion", "on"}).status, 0);
    EXPECT_TRUE(eventually([&] { return application.shouldReduceMotion(); }));
    EXPECT_EQ(workspace()["reduceMotion"], true);
    EXPECT_TRUE(eventually([&] { return optionChanges == 1; }));
    // One that connects later learns both at once.
    VirtualMacWorkspace later;
    EXPECT_TRUE(eventually([&] {
        return later.thermalState() == ThermalState::critical && later.shouldReduceMotion();
    }));

    // A new machine starts nominal with full motion; the workspace finds it again by itself and
    // tells its observers the options changed back.
    ASSERT_EQ(run({"stop"}).status, 0);
    ASSERT_TRUE(eventually([&] {
        return !std::filesystem::exists(root_.path() / "var/run/virtual-mac/control.sock");
    }));
    ASSERT_EQ(run({"start", "--profile", "apple-silicon"}).status, 0);
    ASSERT_TRUE(observersEventually(2));
    EXPECT_TRUE(eventually([&] {
        return application.thermalState() == ThermalState::nominal &&
               !application.shouldReduceMotion() && optionChanges == 2;
    }));
}

TEST_F(WorkspaceProgram, SleepWaitsUntilTheWillSleepHandlersWorkIsDoneAndWakeIsPosted) {
    VirtualMacWorkspace application;
    std::atomic<bool> restored{false};
    std::atomic<int> wakes{0};
    std::atomic<std::thread::id> handlerThread;
    std::mutex workersMutex;
    std::vector<std::thread> workers;
    application.addWillSleepObserver([&](SleepAcknowledgement acknowledgement) {
        handlerThread = std::this_thread::get_id();
        std::lock_guard lock(workersMutex);
        // The work goes elsewhere and keeps the acknowledgement until it is done.
        workers.emplace_back([&restored, acknowledgement]() mutable {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            restored = true;
            acknowledgement.acknowledge();
        });
    });
    application.addDidWakeObserver([&] { ++wakes; });
    ASSERT_TRUE(observersEventually(1));

    const auto start = Clock::now();
    const ProgramResult slept = run({"sleep"});
    const double waited = secondsSince(start);
    ASSERT_EQ(slept.status, 0) << slept.err;
    EXPECT_TRUE(restored);
    EXPECT_GE(waited, 0.4);
    // Asleep on the acknowledgement, not at the bound.
    EXPECT_NE(slept.out.find("1 of 1 observer(s) acknowledged\n"), std::string::npos) << slept.out;
    EXPECT_NE(handlerThread.load(), std::this_thread::get_id());
    EXPECT_EQ(workspace()["power"], "asleep");

    const ProgramResult again = run({"sleep"});
    EXPECT_EQ(again.status, 1);
    EXPECT_NE(again.err.find("already asleep"), std::string::npos) << again.err;

    ASSERT_EQ(run({"wake"}).status, 0);
    EXPECT_TRUE(eventually([&] { return wakes == 1; }));
    // A wake the application did not see the machine sleep before is posted as well.
    ASSERT_EQ(run({"wake"}).status, 0);
    EXPECT_TRUE(eventually([&] { return wakes == 2; }));
    const auto state = workspace();
    EXPECT_EQ(state["power"], "awake");
    EXPECT_EQ(state["sleeps"], 1);
    EXPECT_EQ(state["wakes"], 2);
    std::lock_guard lock(workersMutex);
    for (auto& worker : workers) {
        worker.join();
    }
}

// The one test that waits out the real bound.
TEST_F(WorkspaceProgram, SleepGoesAheadAfterItsBoundWhenAnObserverNeverAcknowledges) {
    VirtualMacWorkspace stubborn;
    VirtualMacWorkspace prompt;
    std::mutex mutex;
    std::vector<SleepAcknowledgement> kept;
    stubborn.addWillSleepObserver([&](SleepAcknowledgement acknowledgement) {
        std::lock_guard lock(mutex);
        kept.push_back(std::move(acknowledgement));
    });
    prompt.addWillSleepObserver([](SleepAcknowledgement) {});
    ASSERT_TRUE(observersEventually(2));

    const auto start = Clock::now();
    const ProgramResult slept = run({"sleep"});
    const double waited = secondsSince(start);
    ASSERT_EQ(slept.status, 0) << slept.err;
    EXPECT_GE(waited, virtualmac::SimulatedWorkspace::kSleepWaitSeconds);
    EXPECT_NE(slept.out.find("1 of 2 observer(s) acknowledged, 1 did not answer in time"),
              std::string::npos)
        << slept.out;
    EXPECT_EQ(workspace()["power"], "asleep");
    // A late answer changes nothing.
    {
        std::lock_guard lock(mutex);
        kept.clear();
    }
    EXPECT_EQ(workspace()["power"], "asleep");
    EXPECT_EQ(run({"wake"}).status, 0);
}

TEST_F(WorkspaceProgram, AnObserverThatGoesAwayNoLongerHoldsSleepBack) {
    int toParent[2];
    ASSERT_EQ(::pipe(toParent), 0);
    // Forked before this process starts threads of its own.
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(toParent[0]);
        VirtualMacWorkspace holder;
        std::vector<SleepAcknowledgement> kept;
        holder.addWillSleepObserver([&](SleepAcknowledgement acknowledgement) {
            kept.push_back(std::move(acknowledgement));
            (void)!::write(toParent[1], "S", 1);
        });
        for (;;) {
            ::pause();
        }
    }
    ::close(toParent[1]);
    ASSERT_TRUE(observersEventually(1));

    auto slept = std::async(std::launch::async, [this] { return run({"sleep"}); });
    char received = 0;
    ASSERT_EQ(::read(toParent[0], &received, 1), 1);
    ::close(toParent[0]);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const ProgramResult result = slept.get();
    ASSERT_EQ(result.status, 0) << result.err;
    // Asleep because it went away, not at the bound.
    EXPECT_NE(result.out.find("0 of 1 observer(s) acknowledged, 1 went away\n"), std::string::npos)
        << result.out;
}

TEST_F(WorkspaceProgram, TheMachineRecordsEachRequestToOpenTheLoginItemsPane) {
    VirtualMacWorkspace application;
    ASSERT_TRUE(observersEventually(1));
    EXPECT_EQ(workspace()["loginItemsPaneOpened"], 0);
    application.openLoginItems();
    application.openLoginItems();
    EXPECT_TRUE(statusEventually([](const nlohmann::json& state) {
        return state["workspace"]["loginItemsPaneOpened"] == 2;
    }));
}

TEST_F(WorkspaceProgram, UnreadableTemperaturesFailEverySensorReadUntilCleared) {
    const auto smcKeys = status()["smcTemperatures"];
    ASSERT_FALSE(smcKeys.empty());
    ventrella::smc::SMCConnection connection;
    ASSERT_FALSE(ventrella::sensors::VLAppleSiliconTemperatureSensors().empty());

    ASSERT_EQ(run({"fault", "unreadable-temperatures"}).status, 0);
    for (const auto& [key, celsius] : smcKeys.items()) {
        try {
            connection.readKey(key);
            ADD_FAILURE() << key << " was read";
        } catch (const ventrella::smc::SMCError& error) {
            EXPECT_STREQ(error.what(), "SMC firmware error: notReadable (0x85)") << key;
        }
    }
    EXPECT_TRUE(ventrella::sensors::VLAppleSiliconTemperatureSensors().empty());
    EXPECT_NO_THROW(connection.readKey("F0Ac"));  // the fans are still there
    EXPECT_EQ(status()["faults"], nlohmann::json::array({"temperature sensors unreadable"}));

    ASSERT_EQ(run({"clear-faults"}).status, 0);
    EXPECT_NO_THROW(connection.readKey(smcKeys.items().begin().key()));
    EXPECT_FALSE(ventrella::sensors::VLAppleSiliconTemperatureSensors().empty());
}

TEST_F(WorkspaceProgram, PeersThatBreakTheProtocolLoseTheirConnection) {
    const auto socket = root_.path() / "var/run/virtual-mac/workspace.sock";
    RawPeer garbage(socket);
    RawPeer endless(socket);
    RawPeer polite(socket);
    ASSERT_TRUE(garbage.connected() && endless.connected() && polite.connected());
    ASSERT_TRUE(observersEventually(3));
    garbage.send("{\"command\":\"reboot\"}\n");
    endless.send(std::string(4096, 'x'));
    polite.send("{\"command\":\"acknowledge\",\"id\":99}\n");
    EXPECT_TRUE(garbage.closedByMachine());
    EXPECT_TRUE(endless.closedByMachine());
    EXPECT_TRUE(observersEventually(1));

    // Beyond the bound on observers, a connection is closed at once.
    std::vector<std::unique_ptr<RawPeer>> crowd;
    for (std::size_t index = 1; index < virtualmac::SimulatedWorkspace::kMaximumObservers;
         ++index) {
        crowd.push_back(std::make_unique<RawPeer>(socket));
    }
    ASSERT_TRUE(
        observersEventually(static_cast<int>(virtualmac::SimulatedWorkspace::kMaximumObservers)));
    RawPeer oneTooMany(socket);
    EXPECT_TRUE(oneTooMany.closedByMachine());
}
