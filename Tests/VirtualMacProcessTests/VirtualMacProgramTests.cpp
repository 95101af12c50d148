// The real `virtual-mac` program, driven from its command line, read by several processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCError.h"
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
