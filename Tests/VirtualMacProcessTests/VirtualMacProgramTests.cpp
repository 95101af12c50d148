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
#include "Support/ProcessState.h"
#include "Support/TemporaryPlatformRoot.h"
#include "VentrellaHardware/AppleSystemIdentity.h"
#include "VentrellaSensors/VLAppleSiliconTemperatureSensors.h"

namespace {

using ventrella::testsupport::isProcessRunning;

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const std::filesystem::path& path) {
    std::ifstream stream(path);
    std::stringstream text;
    text << stream.rdbuf();
    return text.str();
}

// Runs virtual-mac with the arguments under the current VIRTUAL_MAC_ROOT.
ProgramResult runProgram(const std::vector<std::string>& arguments,
                         const std::filesystem::path& scratch) {
    const auto outPath = scratch / "out.txt";
    const auto errPath = scratch / "err.txt";
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(VIRTUAL_MAC_PROGRAM)};
        for (const auto& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(VIRTUAL_MAC_PROGRAM, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(outPath), slurp(errPath)};
}

// Runs `body` in a forked child process; true when it returned true there.
template <class Body>
bool inChildProcess(Body body) {
    const pid_t child = ::fork();
    if (child == 0) {
        bool passed = false;
        try {
            passed = body();
        } catch (...) {
        }
        ::_exit(passed ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::uint8_t> fltBytes(float value) {
    const auto raw = std::bit_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
            static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
}

class VirtualMacProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        scratch_ = root_.path() / "scratch";
        std::filesystem::create_directories(scratch_);
        const auto started = run({"start", "--profile", "apple-silicon", "--speed", "50"});
        ASSERT_EQ(started.status, 0) << started.err;
        EXPECT_NE(started.out.find("apple-silicon machine running"), std::string::npos);
    }

    // Never leaves a machine behind: stop it, and end the process it recorded if need be.
    void TearDown() override {
        const auto pidFile = root_.path() / "var/run/virtual-mac/virtual-mac.pid";
        pid_t pid = 0;
        std::ifstream(pidFile) >> pid;
        run({"stop"});
        if (pid > 0) {
            for (int attempt = 0; attempt < 200 && isProcessRunning(pid); ++attempt) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (isProcessRunning(pid)) {
                ::kill(pid, SIGKILL);
                ADD_FAILURE() << "the machine did not stop";
            }
        }
    }

    ProgramResult run(const std::vector<std::string>& arguments) {
        return runProgram(arguments, scratch_);
    }

    nlohmann::json status() {
        const auto result = run({"status", "--json"});
        EXPECT_EQ(result.status, 0) << result.err;
        return nlohmann::json::parse(result.out);
    }

    // Polls the machine's status until `condition` holds; false after 10 s.
    template <class Condition>
    bool statusEventually(Condition condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            if (condition(status())) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    ventrella::testsupport::TemporaryPlatformRoot root_;
    std::filesystem::path scratch_;
};

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
    for (int attempt = 0; attempt < 200 && std::filesystem::exists(run / "iokit.sock"); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_FALSE(std::filesystem::exists(run / "iokit.sock"));
    EXPECT_FALSE(std::filesystem::exists(run / "control.sock"));
    EXPECT_EQ(this->run({"status"}).status, 1);
    EXPECT_THROW(ventrella::smc::SMCConnection(), ventrella::smc::SMCError);
}
