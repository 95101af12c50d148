#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "Platform/VirtualMac/DaemonSupervisor.h"
#include "Support/TemporaryPlatformRoot.h"

namespace virtualmac {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

std::string plist(const std::string& body) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>)" +
           body + "</dict></plist>\n";
}

// Polls a condition that another process or thread makes true, with a generous bound.
bool eventually(const std::function<bool()>& condition) {
    for (auto deadline = std::chrono::steady_clock::now() + 10s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(10ms)) {
        if (condition())
            return true;
    }
    return condition();
}

TEST(DaemonPropertyListTest, ReadsLabelAndResolvesTheProgramUnderTheRoot) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    const fs::path folder = root.path() / "Library/LaunchDaemons";
    writeFile(folder / "b.plist", plist("<key>Label</key><string>com.example.b</string>"
                                        "<key>Program</key><string>/usr/local/bin/b</string>"));
    writeFile(folder / "a.plist", plist("<key>Label</key><string>com.example.a</string>"
                                        "<key>ProgramArguments</key><array><string>/opt/a</string>"
                                        "<string>--flag</string></array>"));
    writeFile(folder / "notes.txt", "not a daemon");

    EXPECT_THAT(
        loadDaemonDefinitions(root.path()),
        ElementsAre(
            DaemonDefinition{"com.example.a", {(root.path() / "opt/a").string(), "--flag"}},
            DaemonDefinition{"com.example.b", {(root.path() / "usr/local/bin/b").string()}}));
}

TEST(DaemonPropertyListTest, RefusesIncompleteOrUnsafeDefinitions) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    const fs::path file = root.path() / "d.plist";
    const std::pair<std::string, std::string> cases[] = {
        {"no Label", plist("<key>Program</key><string>/bin/x</string>")},
        {"no program", plist("<key>Label</key><string>x</string>")},
        {"relative program",
         plist("<key>Label</key><string>x</string><key>Program</key><string>bin/x</string>")},
        {"not a plist", "garbage"},
    };
    for (const auto& [name, text] : cases) {
        writeFile(file, text);
        EXPECT_THROW(readDaemonPropertyList(file, root.path()), DaemonDefinitionError) << name;
    }
}

TEST(DaemonSupervisorTest, StartsAsRootWithTheRootAndRestartsWhenTheDaemonExits) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    writeFile(root.path() / "usr/bin/daemon.sh",
              "#!/bin/sh\necho \"run uid=$(id -u) root=$VIRTUAL_MAC_ROOT args=$1\"\nexit 3\n");
    fs::permissions(root.path() / "usr/bin/daemon.sh", fs::perms(0755));
    writeFile(root.path() / "Library/LaunchDaemons/com.example.flaky.plist",
              plist("<key>Label</key><string>com.example.flaky</string>"
                    "<key>ProgramArguments</key><array><string>/usr/bin/daemon.sh</string>"
                    "<string>one</string></array>"));

    DaemonSupervisor supervisor({root.path(), 0.02, 2.0});
    supervisor.start();
    EXPECT_THAT(supervisor.labels(), ElementsAre("com.example.flaky"));
    ASSERT_TRUE(eventually([&] { return supervisor.launchCount("com.example.flaky") >= 3; }));
    supervisor.stop();

    const std::string log = readFile(root.path() / "var/log/com.example.flaky.log");
    EXPECT_THAT(log, HasSubstr("run uid=0 root=" + root.path().string() + " args=one\n"));
}

TEST(DaemonSupervisorTest, StopEndsRunningDaemonsAndNothingIsStartedAgain) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    writeFile(root.path() / "usr/bin/long.sh", "#!/bin/sh\nexec sleep 600\n");
    fs::permissions(root.path() / "usr/bin/long.sh", fs::perms(0755));

    DaemonSupervisor supervisor({root.path(), 0.02, 2.0});
    supervisor.start(
        {DaemonDefinition{"com.example.long", {(root.path() / "usr/bin/long.sh").string()}}});
    ASSERT_TRUE(
        eventually([&] { return supervisor.processIdentifier("com.example.long").has_value(); }));
    const pid_t pid = *supervisor.processIdentifier("com.example.long");

    // Killed from outside: launchd's answer is a new process.
    ::kill(pid, SIGKILL);
    ASSERT_TRUE(eventually([&] {
        auto current = supervisor.processIdentifier("com.example.long");
        return current && *current != pid;
    }));
    const pid_t second = *supervisor.processIdentifier("com.example.long");

    supervisor.stop();
    EXPECT_TRUE(supervisor.labels().empty());
    EXPECT_NE(::kill(second, 0), 0) << "the daemon outlived stop()";
}

TEST(DaemonSupervisorTest, AMissingProgramIsReportedInItsLogAndRetried) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    DaemonSupervisor supervisor({root.path(), 0.02, 2.0});
    supervisor.start({DaemonDefinition{"com.example.gone", {(root.path() / "nothing").string()}}});
    ASSERT_TRUE(eventually([&] { return supervisor.launchCount("com.example.gone") >= 2; }));
    supervisor.stop();
    EXPECT_THAT(readFile(root.path() / "var/log/com.example.gone.log"), HasSubstr("cannot start"));
}

}  // namespace
}  // namespace virtualmac
