#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "Support/Eventually.h"
#include "Support/TemporaryPlatformRoot.h"

// The real `virtual-mac` program, started in a private root for each test.
namespace virtualmactest {

struct ProgramResult {
    int status = -1;
    std::string out;
    std::string err;
};

// True while the process runs; an exited machine waiting to be reaped by init counts as gone.
bool isRunning(pid_t pid);

// Runs virtual-mac with the arguments under the current VIRTUAL_MAC_ROOT.
ProgramResult runProgram(const std::vector<std::string>& arguments,
                         const std::filesystem::path& scratch);

// Runs `body` in a forked child process; true when it returned true there.
bool inChildProcess(const std::function<bool()>& body);

// Starts an apple-silicon machine at speed 50 and never leaves it behind.
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
            if (!ventrella::testsupport::eventually([pid] { return !isRunning(pid); })) {
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

    // Polls the machine's status until `condition` holds.
    template <class Condition>
    bool statusEventually(Condition condition) {
        return ventrella::testsupport::eventually([&] { return condition(status()); },
                                                  ventrella::testsupport::eventDeadline,
                                                  std::chrono::milliseconds(50));
    }

    ventrella::testsupport::TemporaryPlatformRoot root_;
    std::filesystem::path scratch_;
};

}  // namespace virtualmactest
