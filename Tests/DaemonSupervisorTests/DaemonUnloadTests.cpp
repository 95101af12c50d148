#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "Platform/VirtualMac/DaemonSupervisor.h"
#include "Support/Eventually.h"
#include "Support/TemporaryPlatformRoot.h"

namespace virtualmac {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(DaemonUnload, StopsOneDaemonForGoodAndLeavesTheOthersRunning) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    const fs::path program = root.path() / "usr/bin/long.sh";
    fs::create_directories(program.parent_path());
    // Ignores SIGTERM, so that unloading has to fall back to SIGKILL after the grace.
    std::ofstream(program) << "#!/bin/sh\ntrap '' TERM\nwhile :; do sleep 1; done\n";
    fs::permissions(program, fs::perms(0755));

    DaemonSupervisor supervisor({root.path(), 0.02, 0.3});
    supervisor.start({DaemonDefinition{"com.example.a", {program.string()}},
                      DaemonDefinition{"com.example.b", {program.string()}}});
    const auto running = [&](const char* label) {
        return ventrella::testsupport::eventually(
            [&] { return supervisor.processIdentifier(label).has_value(); });
    };
    ASSERT_TRUE(running("com.example.a"));
    ASSERT_TRUE(running("com.example.b"));
    const pid_t unloaded = *supervisor.processIdentifier("com.example.a");

    EXPECT_TRUE(supervisor.unload("com.example.a"));
    EXPECT_NE(::kill(unloaded, 0), 0) << "the unloaded daemon still runs";
    EXPECT_FALSE(supervisor.definition("com.example.a").has_value());
    EXPECT_EQ(supervisor.labels(), std::vector<std::string>{"com.example.b"});
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(supervisor.launchCount("com.example.a"), 0u) << "it was started again";
    EXPECT_TRUE(supervisor.processIdentifier("com.example.b").has_value());
    EXPECT_FALSE(supervisor.unload("com.example.a"));
    supervisor.stop();
}

}  // namespace
}  // namespace virtualmac
