// The real `virtual-mac` program, driven from its command line, read by several processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "Platform/IOKit/SocketBackend.h"
#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCError.h"
#include "Support/UnixSocketClient.h"
#include "VentrellaHardware/AppleSystemIdentity.h"
#include "VentrellaSensors/VLAppleSiliconTemperatureSensors.h"
#include "VirtualMacProgram.h"

namespace {

using virtualmactest::inChildProcess;
using virtualmactest::VirtualMacProgram;

std::vector<std::uint8_t> fltBytes(float value) {
    const auto raw = std::bit_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
            static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
}

// Sends `request` on a new connection and returns what comes back first.
std::string firstAnswer(const std::filesystem::path& socket, const std::string& request) {
    const int descriptor = ventrella::testsupport::connectToUnixSocket(socket);
    char buffer[256];
    ssize_t count = -1;
    if (descriptor >= 0 && ::send(descriptor, request.data(), request.size(), MSG_NOSIGNAL) ==
                               static_cast<ssize_t>(request.size())) {
        count = ::recv(descriptor, buffer, sizeof buffer, 0);
    }
    ::close(descriptor);
    return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : std::string();
}

}  // namespace

TEST_F(VirtualMacProgram, TwoProcessesSeeTheSameFansAndEachOthersWrites) {
    ventrella::smc::SMCConnection connection;
    const auto maximum = connection.readKey("F1Mx");
    connection.writeKey("Ftst", {1});
    connection.writeKey("F1md", {1});
    connection.writeKey("F1Tg", fltBytes(4321));

    EXPECT_TRUE(inChildProcess([&] {
        ventrella::smc::SMCConnection own;
        return own.readKey("FNum").bytes == std::vector<std::uint8_t>{2} &&
               own.readKey("F1Mx") == maximum &&
               own.readKey("F1md").bytes == std::vector<std::uint8_t>{1} &&
               own.readKey("F1Tg").bytes == fltBytes(4321);
    }));
    // And the other way round: a child writes, this process reads.
    EXPECT_TRUE(inChildProcess([] {
        ventrella::smc::SMCConnection own;
        own.writeKey("F0md", {1});
        own.writeKey("F0Tg", fltBytes(2500));
        return true;
    }));
    EXPECT_EQ(connection.readKey("F0md").bytes, std::vector<std::uint8_t>{1});
    EXPECT_EQ(connection.readKey("F0Tg").bytes, fltBytes(2500));
    // The thermal model drives the fans at the written targets.
    EXPECT_TRUE(statusEventually([](const nlohmann::json& state) {
        return state["fans"][1]["mode"] == "manual" &&
               std::abs(state["fans"][1]["actual"].get<double>() - 4321) < 20;
    }));
}

TEST_F(VirtualMacProgram, FaultsInjectedThroughTheControlInterfaceReachTheReader) {
    ventrella::smc::SMCConnection connection;
    ASSERT_EQ(run({"fault", "refuse-writes", "F0Tg"}).status, 0);
    ASSERT_EQ(run({"fault", "result-code", "F1Ac", "0x99"}).status, 0);
    try {
        connection.writeKey("F0Tg", fltBytes(3000));
        FAIL() << "a refused write succeeded";
    } catch (const ventrella::smc::SMCError& error) {
        EXPECT_STREQ(error.what(), "SMC firmware error: notWritable (0x86)");
    }
    EXPECT_THROW(connection.readKey("F1Ac"), ventrella::smc::SMCError);

    ASSERT_EQ(run({"fault", "other-app", "0", "3000"}).status, 0);
    EXPECT_EQ(connection.readKey("F0md").bytes, std::vector<std::uint8_t>{1});
    EXPECT_EQ(connection.readKey("Ftst").bytes, std::vector<std::uint8_t>{1});
    EXPECT_EQ(status()["faults"].size(), 2u);

    ASSERT_EQ(run({"clear-faults"}).status, 0);
    connection.writeKey("F0md", {0});
    connection.writeKey("F0Tg", fltBytes(3000));
    EXPECT_NO_THROW(connection.readKey("F1Ac"));
    EXPECT_TRUE(status()["faults"].empty());
}

TEST_F(VirtualMacProgram, LoadHeatsWhatEveryReaderSees) {
    EXPECT_EQ(ventrella::hardware::AppleSystemIdentity::brandString(), "Apple M3 Pro");
    EXPECT_EQ(ventrella::hardware::AppleSystemIdentity::hardwareModel(), "Mac15,6");
    ASSERT_EQ(run({"load", "--cpu", "100", "--gpu", "100"}).status, 0);
    EXPECT_TRUE(statusEventually([](const nlohmann::json& state) {
        return state["temperatures"]["cpu"].get<double>() > 60 &&
               state["fans"][0]["actual"].get<double>() > 1300;
    }));
    const auto hid = ventrella::sensors::VLAppleSiliconTemperatureSensors();
    ASSERT_TRUE(hid.contains("pACC MTR Temp Sensor0"));
    EXPECT_GT(hid.at("pACC MTR Temp Sensor0"), 55);

    const auto human = run({"status"});
    EXPECT_EQ(human.status, 0);
    EXPECT_NE(human.out.find("Fan 1: automatic"), std::string::npos) << human.out;
    EXPECT_NE(human.out.find("Load: CPU 100 %"), std::string::npos) << human.out;
}

TEST_F(VirtualMacProgram, BadArgumentsAndRefusedRequestsFailClearly) {
    auto result = run({"load", "--cpu", "140"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("--cpu must lie from 0 to 100"), std::string::npos) << result.err;
    result = run({"fault", "overheat"});
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("unknown fault kind"), std::string::npos) << result.err;
    result = run({"start", "--profile", "apple-silicon"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("already running"), std::string::npos) << result.err;
    result = run({"fault", "mask-stuck"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("no manual mask"), std::string::npos) << result.err;
    result = run({"--root", (root_.path() / "elsewhere").string(), "status"});
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("no machine is running"), std::string::npos) << result.err;
}

TEST_F(VirtualMacProgram, StopEndsTheMachineAndItsSockets) {
    ASSERT_EQ(run({"stop"}).status, 0);
    const auto run = root_.path() / "var/run/virtual-mac";
    EXPECT_TRUE(ventrella::testsupport::eventually(
        [&] { return !std::filesystem::exists(run / "iokit.sock"); }));
    EXPECT_FALSE(std::filesystem::exists(run / "control.sock"));
    EXPECT_EQ(this->run({"status"}).status, 1);
    EXPECT_THROW(ventrella::smc::SMCConnection(), ventrella::smc::SMCError);
}

// Whoever runs the machine out of descriptors for a moment does not leave any of its sockets
// deaf: each accepts again once descriptors are free.
TEST_F(VirtualMacProgram, EverySocketServesNewClientsAfterTheMachineRanOutOfDescriptors) {
    const auto runDirectory = root_.path() / "var/run/virtual-mac";
    pid_t machine = 0;
    std::ifstream(runDirectory / "virtual-mac.pid") >> machine;
    ASSERT_GT(machine, 0);
    const auto openDescriptors = [&] {
        return static_cast<rlim_t>(std::distance(
            std::filesystem::directory_iterator("/proc/" + std::to_string(machine) + "/fd"), {}));
    };
    const auto eventually = [](const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (!condition() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return condition();
    };
    const auto servesEverySocket = [&] {
        EXPECT_EQ(firstAnswer(runDirectory / "control.sock", "{\"command\": \"status\"}\n")
                      .rfind("{\"ok\":true", 0),
                  0U);
        platform::iokit::SocketBackend devices(
            platform::iokit::SocketBackend::ioKitSocketPathProvider(), 60.0);
        EXPECT_EQ(devices.serviceCount("AppleSMC"), 1U);
        EXPECT_NE(firstAnswer(runDirectory / "workspace.sock", ""), "");
    };
    const rlim_t idle = openDescriptors();
    servesEverySocket();
    // Not one descriptor to spare once those sessions have ended.
    ASSERT_TRUE(eventually([&] { return openDescriptors() == idle; }));
    rlimit saved{};
    ASSERT_EQ(::prlimit(machine, RLIMIT_NOFILE, nullptr, &saved), 0);
    rlimit exhausted = saved;
    exhausted.rlim_cur = idle;
    ASSERT_EQ(::prlimit(machine, RLIMIT_NOFILE, &exhausted, nullptr), 0);
    const std::vector<std::string> sockets = {"control.sock", "iokit.sock", "workspace.sock"};
    std::vector<int> waiting;
    for (const auto& name : sockets) {
        waiting.push_back(ventrella::testsupport::connectToUnixSocket(runDirectory / name));
        EXPECT_GE(waiting.back(), 0) << name;
    }
    std::string log;
    EXPECT_TRUE(eventually([&] {
        std::ifstream in(runDirectory / "virtual-mac.log");
        log.assign(std::istreambuf_iterator<char>(in), {});
        return std::all_of(sockets.begin(), sockets.end(), [&](const std::string& name) {
            return log.find("cannot accept a connection on " + name) != std::string::npos;
        });
    })) << log;
    for (const int descriptor : waiting) {
        ::close(descriptor);
    }
    ASSERT_EQ(::prlimit(machine, RLIMIT_NOFILE, &saved, nullptr), 0);
    servesEverySocket();
}
