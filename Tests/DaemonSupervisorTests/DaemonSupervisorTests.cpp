#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "Platform/VirtualMac/DaemonSupervisor.h"
#include "Support/Eventually.h"
#include "Support/FileContents.h"
#include "Support/TemporaryPlatformRoot.h"

namespace virtualmac {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

using ventrella::testsupport::eventually;
using ventrella::testsupport::readFile;

// Written as root with the modes a package would give, whatever the umask.
void writeFile(const fs::path& path, const std::string& text, fs::perms mode = fs::perms(0644)) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
    fs::permissions(path, mode, fs::perm_options::replace);
}

std::string plist(const std::string& body) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>)" +
           body + "</dict></plist>\n";
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

TEST(DaemonPropertyListTest, AProgramPathNeverLeadsOutOfTheRoot) {
    const fs::path root = "/machine";
    const std::pair<std::string, std::string> programs[] = {
        {"/../../bin/sh", "/machine/bin/sh"},
        {"/./../usr/bin/x", "/machine/usr/bin/x"},
        {"/usr/../../../etc/x", "/machine/etc/x"},
        {"/usr//bin/./x", "/machine/usr/bin/x"},
    };
    for (const auto& [program, resolved] : programs) {
        const auto definition = parseDaemonPropertyList(
            plist("<key>Label</key><string>x</string><key>Program</key><string>" + program +
                  "</string>"),
            root, "test.plist");
        EXPECT_EQ(definition.arguments, std::vector<std::string>{resolved}) << program;
    }
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

TEST(DaemonPropertyListTest, OnlyAFileOfRootsOwnIsRead) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    const std::string good = plist(
        "<key>Label</key><string>x</string>"
        "<key>Program</key><string>/bin/x</string>");
    const fs::path file = root.path() / "d.plist";
    writeFile(file, good);
    EXPECT_EQ(readDaemonPropertyList(file, root.path()).label, "x");

    struct Case {
        std::string name;
        std::function<void()> prepare;
        std::string problem;
    };
    const Case cases[] = {
        {"another owner", [&] { ASSERT_EQ(::chown(file.c_str(), 65534, 0), 0); },
         "is not owned by root"},
        {"group-writable", [&] { fs::permissions(file, fs::perms(0664)); },
         "is writable by others than root"},
        {"world-writable", [&] { fs::permissions(file, fs::perms(0646)); },
         "is writable by others than root"},
        {"symbolic link",
         [&] {
             writeFile(root.path() / "elsewhere.plist", good);
             fs::remove(file);
             fs::create_symlink(root.path() / "elsewhere.plist", file);
         },
         "is a symbolic link"},
        {"directory",
         [&] {
             fs::remove(file);
             fs::create_directory(file);
         },
         "is not a regular file"},
        {"fifo",
         [&] {
             fs::remove(file);
             ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);
         },
         "is not a regular file"},
        {"too large",
         [&] { writeFile(file, good + std::string(maximumDaemonPropertyListBytes, ' ')); },
         "is too large"},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        fs::remove_all(file);
        writeFile(file, good);
        testCase.prepare();
        try {
            readDaemonPropertyList(file, root.path());
            ADD_FAILURE() << "read";
        } catch (const DaemonDefinitionError& error) {
            EXPECT_EQ(std::string(error.what()), file.string() + ": " + testCase.problem);
        }
    }
}

TEST(DaemonSupervisorTest, StartsAsRootWithTheRootAndRestartsWhenTheDaemonExits) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    writeFile(root.path() / "usr/bin/daemon.sh",
              "#!/bin/sh\necho \"run uid=$(id -u) root=$VIRTUAL_MAC_ROOT args=$1\"\nexit 3\n",
              fs::perms(0755));
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
    writeFile(root.path() / "usr/bin/long.sh", "#!/bin/sh\nexec sleep 600\n", fs::perms(0755));

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

TEST(DaemonSupervisorTest, ADaemonGetsAMinimalEnvironment) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    writeFile(root.path() / "usr/bin/env.sh", "#!/bin/sh\nenv\nexec sleep 600\n", fs::perms(0755));
    ::setenv("VENTRELLA_TEST_CANARY", "inherited", 1);
    DaemonSupervisor supervisor({root.path(), 0.02, 2.0});
    supervisor.start(
        {DaemonDefinition{"com.example.env", {(root.path() / "usr/bin/env.sh").string()}}});
    const fs::path log = root.path() / "var/log/com.example.env.log";
    ASSERT_TRUE(eventually([&] { return readFile(log).find("PATH=") != std::string::npos; }));
    supervisor.stop();
    ::unsetenv("VENTRELLA_TEST_CANARY");

    const std::string environment = readFile(log);
    EXPECT_THAT(environment, HasSubstr("VIRTUAL_MAC_ROOT=" + root.path().string() + "\n"));
    EXPECT_THAT(environment, HasSubstr("PATH=/usr/bin:/bin:/usr/sbin:/sbin\n"));
    EXPECT_THAT(environment, ::testing::Not(HasSubstr("VENTRELLA_TEST_CANARY")));
}

TEST(DaemonSupervisorTest, AProgramSomeoneElseCouldChangeIsNotStarted) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    const std::pair<std::string, std::function<void(const fs::path&)>> cases[] = {
        {"is not owned by root",
         [](const fs::path& program) { ASSERT_EQ(::chown(program.c_str(), 65534, 0), 0); }},
        {"is writable by others than root",
         [](const fs::path& program) { fs::permissions(program, fs::perms(0775)); }},
        {"is writable by others than root",
         [](const fs::path& program) { fs::permissions(program, fs::perms(0757)); }},
    };
    int index = 0;
    for (const auto& [problem, spoil] : cases) {
        SCOPED_TRACE(problem);
        const std::string label = "com.example.spoiled" + std::to_string(index++);
        const fs::path program = root.path() / "usr/bin" / label;
        const fs::path ran = root.path() / (label + ".ran");
        writeFile(program, "#!/bin/sh\ntouch " + ran.string() + "\nexec sleep 600\n",
                  fs::perms(0755));
        spoil(program);

        DaemonSupervisor supervisor({root.path(), 0.02, 2.0});
        supervisor.start({DaemonDefinition{label, {program.string()}}});
        ASSERT_TRUE(eventually([&] { return supervisor.launchCount(label) >= 2; }));
        EXPECT_FALSE(supervisor.processIdentifier(label).has_value());
        supervisor.stop();
        EXPECT_FALSE(fs::exists(ran));
        EXPECT_THAT(readFile(root.path() / "var/log" / (label + ".log")),
                    HasSubstr("virtual-mac: will not start " + program.string() + ": it " +
                              problem + "\n"));
    }
}

TEST(DaemonSupervisorTest, ALogThatIsASymbolicLinkIsNotFollowed) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    writeFile(root.path() / "usr/bin/talk.sh", "#!/bin/sh\necho spoken\nexec sleep 600\n",
              fs::perms(0755));
    const fs::path target = root.path() / "etc/important";
    writeFile(target, "keep\n");
    fs::create_directories(root.path() / "var/log");
    fs::create_symlink(target, root.path() / "var/log/com.example.talk.log");

    DaemonSupervisor supervisor({root.path(), 0.02, 2.0});
    supervisor.start(
        {DaemonDefinition{"com.example.talk", {(root.path() / "usr/bin/talk.sh").string()}}});
    ASSERT_TRUE(eventually([&] { return supervisor.launchCount("com.example.talk") >= 2; }));
    EXPECT_FALSE(supervisor.processIdentifier("com.example.talk").has_value());
    supervisor.stop();
    EXPECT_EQ(readFile(target), "keep\n");
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
