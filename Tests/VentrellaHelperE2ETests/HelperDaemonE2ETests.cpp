#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "SimulatedMac.h"
#include "Support/FileContents.h"

namespace ventrella::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

using testsupport::readFile;

bool fansAre(const nlohmann::json& status, const std::string& mode) {
    if (status["fans"].empty())
        return false;
    for (const auto& fan : status["fans"]) {
        if (fan["mode"] != mode)
            return false;
    }
    return true;
}

TEST(HelperDaemonE2E, SignedClientAppliesAndTheFansHoldTheVerifiedTargets) {
    SimulatedMac mac;
    ASSERT_TRUE(mac.waitForHelper());
    // The helper wrote the bundle's hash at start.
    EXPECT_EQ(readFile(mac.supportFile("client-cdhash")).size(), 41U);

    auto applied = mac.client({"apply", "60"});
    ASSERT_EQ(applied.exitCode, 0) << applied.err;
    EXPECT_THAT(applied.out, StartsWith("apply: manual at 60%\n"));
    EXPECT_TRUE(fs::exists(mac.supportFile("manual-owner")));

    auto status = mac.status();
    ASSERT_TRUE(fansAre(status, "manual")) << status.dump();
    for (const auto& fan : status["fans"]) {
        const double minimum = fan["minimum"], maximum = fan["maximum"];
        EXPECT_NEAR(fan["target"].get<double>(), minimum + (maximum - minimum) * 0.6, 1.0);
    }

    auto restored = mac.client({"restore"});
    ASSERT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_TRUE(fansAre(mac.status(), "automatic"));
    EXPECT_FALSE(fs::exists(mac.supportFile("manual-owner")));
}

// A copy of the client signed by the build's tool as given (everyone has the tool).
fs::path signedCopy(const SimulatedMac& mac, const fs::path& program, const std::string& name,
                    const std::vector<std::string>& signing) {
    const fs::path copy = mac.root() / "impostors" / name;
    fs::create_directories(copy.parent_path());
    fs::copy_file(program, copy);
    std::vector<std::string> command{CODESIGN_TOOL, "sign"};
    command.insert(command.end(), signing.begin(), signing.end());
    command.push_back(copy.string());
    EXPECT_EQ(mac.run(command).exitCode, 0);
    return copy;
}

const std::vector<std::string> kWrongIdentifier{"--identifier", "com.quillmoor.Impostor", "--flags",
                                                "0x12000"};

// A copy of a program with one byte of its image changed: a letter of the client's usage text,
// so that it still runs whatever the build's layout.
fs::path tamperedCopy(const fs::path& program, const fs::path& copy) {
    std::string bytes = readFile(program);
    const auto at = bytes.find("usage: ventrella-helper-client");
    EXPECT_NE(at, std::string::npos);
    bytes[at] = 'U';
    std::ofstream(copy, std::ios::binary) << bytes;
    fs::permissions(copy, fs::perms::owner_all);
    return copy;
}

mode_t modeOf(const fs::path& path, uid_t& owner) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    owner = info.st_uid;
    return info.st_mode & 07777;
}

TEST(HelperDaemonE2E, ImpostorClientsAreRefusedAuditedAndLogged) {
    SimulatedMac mac;
    ASSERT_TRUE(mac.waitForHelper());
    const fs::path impostors = mac.root() / "impostors";
    const fs::path wrongIdentifier =
        signedCopy(mac, CLIENT_PROGRAM, "wrong-identifier", kWrongIdentifier);
    // Same identifier and flags, but not the bundled application: another cdhash.
    const fs::path otherBuild = signedCopy(
        mac, CLIENT_PROGRAM, "other-build",
        {"--identifier", "com.quillmoor.Ventrella", "--flags", "0x12000", "--team", "OTHERTEAM1"});
    // The bundled client with one byte of its image changed.
    const fs::path tampered = tamperedCopy(CLIENT_PROGRAM, impostors / "tampered");
    // What a signature states is judged before its image is read.
    const fs::path tamperedWrongIdentifier =
        tamperedCopy(wrongIdentifier, impostors / "tampered-wrong-identifier");

    // The image alone, its signature cut off.
    const fs::path unsignedClient = impostors / "unsigned";
    {
        auto shown = mac.run({CODESIGN_TOOL, "show", CLIENT_PROGRAM});
        const auto at = shown.out.find("ImageBytes=");
        ASSERT_NE(at, std::string::npos) << shown.out;
        const auto size = std::stoull(shown.out.substr(at + 11));
        fs::copy_file(CLIENT_PROGRAM, unsignedClient);
        fs::resize_file(unsignedClient, size);
    }

    const std::pair<fs::path, std::string> cases[] = {
        {wrongIdentifier, "identifierMismatch"},
        {otherBuild, "cdHashMismatch"},
        {tampered, "liveValidationFailed"},
        {unsignedClient, "liveValidationFailed"},
        {tamperedWrongIdentifier, "identifierMismatch"},
    };
    // The newest rejection in the helper's log is this one's (the audit writes a reason once a
    // second).
    const auto newest = [](const std::string& text, const std::string& start) {
        const auto at = text.rfind(start);
        return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
    };
    for (const auto& refusal : cases) {
        const fs::path& program = refusal.first;
        const std::string& reason = refusal.second;
        SCOPED_TRACE(program.filename().string());
        auto refused = mac.run({program.string(), "apply", "60"});
        EXPECT_NE(refused.exitCode, 0);
        EXPECT_THAT(refused.err, HasSubstr("connection error"));
        EXPECT_THAT(readFile(mac.supportFile("helper-auth.jsonl")),
                    HasSubstr("{\"reason\":\"" + reason + "\""));
        EXPECT_TRUE(eventually([&] {
            return newest(readFile(mac.helperLog()), "client.rejected ")
                .starts_with("client.rejected reason=" + reason + " pid=");
        })) << readFile(mac.helperLog());
    }
    // None of them got the fans.
    EXPECT_TRUE(fansAre(mac.status(), "automatic"));
    EXPECT_FALSE(fs::exists(mac.supportFile("manual-owner")));
    EXPECT_EQ(mac.client({"status"}).exitCode, 0);
}

TEST(HelperDaemonE2E, NoOtherUserCanHoldTheHelpersNameOrSilenceItsAudit) {
    SimulatedMac mac;
    ASSERT_TRUE(mac.waitForHelper());
    // Reachable by every user, as a Mac's root is.
    fs::permissions(mac.root(), fs::perms(0755));
    const fs::path nameLock = mac.root() / "var/run/xpc/com.quillmoor.Ventrella.helper.sock.lock";
    const fs::path audit = mac.supportFile("helper-auth.jsonl");
    const std::vector<std::string> asNobody{"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                            "--clear-groups"};
    const auto asAttacker = [&](std::vector<std::string> command) {
        command.insert(command.begin(), asNobody.begin(), asNobody.end());
        return command;
    };
    const auto attack = [&](std::vector<std::string> command) {
        return mac.spawn(asAttacker(std::move(command)));
    };
    // The folder of the lock is open to the attacker: only the lock's own mode can stop it.
    ASSERT_EQ(mac.run(asAttacker({"test", "-S",
                                  nameLock.parent_path() / "com.quillmoor.Ventrella.helper.sock"}))
                  .exitCode,
              0);

    // The helper's name: whoever held its lock across a crash would keep every later helper out.
    uid_t owner = 1;
    EXPECT_EQ(modeOf(nameLock, owner), 0600u);
    EXPECT_EQ(owner, 0u);
    const pid_t nameHolder = attack({"flock", nameLock.string(), "sleep", "600"});
    int status = 0;
    ASSERT_TRUE(
        eventually([&] { return ::waitpid(nameHolder, &status, WNOHANG) == nameHolder; }, 60.0))
        << "the lock could be opened";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
    const auto helper = mac.helperProcess();
    ASSERT_TRUE(helper);
    ::kill(*helper, SIGKILL);
    EXPECT_TRUE(eventually(
        [&] {
            const auto current = mac.helperProcess();
            return current && *current != *helper && mac.client({"status"}).exitCode == 0;
        },
        60.0));

    // The audit: anyone may read the log and so lock it, which must not make the helper drop a
    // refusal.
    const fs::path impostor = signedCopy(mac, CLIENT_PROGRAM, "impostor", kWrongIdentifier);
    ASSERT_NE(mac.run({impostor.string(), "status"}).exitCode, 0);
    EXPECT_EQ(modeOf(audit, owner), 0644u);
    EXPECT_EQ(modeOf(audit.string() + ".lock", owner), 0600u);
    EXPECT_EQ(owner, 0u);
    const pid_t auditHolder = attack({"flock", audit.string(), "sleep", "600"});
    ASSERT_TRUE(eventually(
        [&] {
            const int fd = ::open(audit.c_str(), O_RDONLY | O_CLOEXEC);
            const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
            ::close(fd);
            return held;
        },
        60.0));
    const fs::path otherBuild = signedCopy(
        mac, CLIENT_PROGRAM, "other-build",
        {"--identifier", "com.quillmoor.Ventrella", "--flags", "0x12000", "--team", "OTHERTEAM1"});
    ASSERT_NE(mac.run({otherBuild.string(), "status"}).exitCode, 0);
    EXPECT_THAT(readFile(audit), HasSubstr("{\"reason\":\"cdHashMismatch\""));
    ::kill(auditHolder, SIGKILL);
    ::waitpid(auditHolder, nullptr, 0);
}

TEST(HelperDaemonE2E, ConcurrentClientsAreServedAndAVanishingClientLeavesTheHelperServing) {
    SimulatedMac mac;
    ASSERT_TRUE(mac.waitForHelper());
    const auto helper = mac.helperProcess();
    ASSERT_TRUE(helper);

    // A takeover blocks the controller for 1.5 s; its client is gone before the reply.
    const pid_t vanishing = mac.spawn({mac.bundledClient().string(), "takeover"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(vanishing, SIGKILL);
    ::waitpid(vanishing, nullptr, 0);

    CommandResult first, second;
    std::thread a([&] { first = mac.client({"apply", "60"}); });
    std::thread b([&] { second = mac.client({"apply", "80"}); });
    a.join();
    b.join();
    EXPECT_EQ(first.exitCode, 0) << first.err;
    EXPECT_EQ(second.exitCode, 0) << second.err;

    auto status = mac.client({"status"});
    ASSERT_EQ(status.exitCode, 0) << status.err;
    EXPECT_THAT(status.out, ::testing::AnyOf(HasSubstr("holding 60%"), HasSubstr("holding 80%")));
    EXPECT_EQ(mac.helperProcess(), helper) << "the helper was restarted";
}

TEST(HelperDaemonE2E, KilledHelperIsRestartedAndRestoresFromItsMarker) {
    SimulatedMac mac;
    ASSERT_TRUE(mac.waitForHelper());
    ASSERT_EQ(mac.client({"apply", "60"}).exitCode, 0);
    const auto helper = mac.helperProcess();
    ASSERT_TRUE(helper);
    ::kill(*helper, SIGKILL);

    EXPECT_TRUE(eventually([&] {
        auto current = mac.helperProcess();
        return current && *current != *helper;
    }));
    EXPECT_TRUE(eventually([&] { return fansAre(mac.status(), "automatic"); }));
    EXPECT_TRUE(eventually([&] { return !fs::exists(mac.supportFile("manual-owner")); }));
}

TEST(HelperDaemonE2E, WatchdogHandsTheFansBackWhenTheClientStopsRenewing) {
    SimulatedMac mac;
    ASSERT_TRUE(mac.waitForHelper());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(mac.client({"apply", "60", "--renew-every", "2", "--for", "4"}).exitCode, 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_TRUE(fansAre(mac.status(), "manual"));

    // The last renewal was asked for 4 s after the start at the earliest, and the watchdog
    // waits 30 s from it: the fans come back no sooner, however slow the machine.
    EXPECT_TRUE(eventually([&] { return fansAre(mac.status(), "automatic"); },
                           30 + testsupport::eventDeadlineSeconds));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(4 + 30));
    // The marker goes once the restore has verified the fans, after the SMC's settle time.
    EXPECT_TRUE(eventually([&] { return !fs::exists(mac.supportFile("manual-owner")); }));
}

TEST(HelperDaemonE2E, SecondHelperLeavesTheServingHelperAndItsFansAlone) {
    SimulatedMac mac;
    ASSERT_TRUE(mac.waitForHelper());
    ASSERT_EQ(mac.client({"apply", "60"}).exitCode, 0);
    const auto helper = mac.helperProcess();
    ASSERT_TRUE(helper);

    // A mistyped argument runs the daemon, not the one-shot restore.
    auto second = mac.run({HELPER_PROGRAM, "--restore-automatc"});
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_THAT(second.err, HasSubstr("Another helper already serves "
                                      "com.quillmoor.Ventrella.helper; this one leaves the fans "
                                      "alone and exits."));
    EXPECT_TRUE(fansAre(mac.status(), "manual"));
    EXPECT_TRUE(fs::exists(mac.supportFile("manual-owner")));
    EXPECT_EQ(mac.helperProcess(), helper);
    auto status = mac.client({"status"});
    ASSERT_EQ(status.exitCode, 0) << status.err;
    EXPECT_THAT(status.out, HasSubstr("holding 60%"));
}

TEST(HelperDaemonE2E, RestoreAutomaticCommandPrintsItsOutcome) {
    SimulatedMac mac;
    ASSERT_TRUE(mac.waitForHelper());
    ASSERT_EQ(mac.client({"apply", "60"}).exitCode, 0);

    auto restored = mac.run({HELPER_PROGRAM, "--restore-automatic"});
    EXPECT_EQ(restored.exitCode, 0);
    EXPECT_EQ(restored.out, "Apple Automatic was verified on every fan.\n");
    EXPECT_TRUE(fansAre(mac.status(), "automatic"));

    ASSERT_EQ(mac.client({"apply", "60"}).exitCode, 0);
    ASSERT_EQ(mac.virtualMac({"fault", "refuse-writes", "F1md"}).exitCode, 0);
    auto failed = mac.run({HELPER_PROGRAM, "--restore-automatic"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.out, "");
    // The outcome and nothing else: the hardware layers' lines went to the helper's log.
    EXPECT_EQ(failed.err,
              "Apple Automatic could not be verified: Fan 1 mode: SMC firmware error: "
              "notWritable (0x86)\n");
    EXPECT_THAT(readFile(mac.helperLog()),
                HasSubstr("io.lowmarsh.fan[SMCConnection] smc.write.failed key=F1md "
                          "firmware=notWritable (0x86)\n"));
}

}  // namespace
}  // namespace ventrella::e2e
