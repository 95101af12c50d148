#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

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

TEST(HelperDaemonE2E, ImpostorClientsAreRefusedAuditedAndLogged) {
    SimulatedMac mac;
    ASSERT_TRUE(mac.waitForHelper());
    const fs::path impostors = mac.root() / "impostors";
    fs::create_directories(impostors);

    const fs::path wrongIdentifier = impostors / "wrong-identifier";
    fs::copy_file(CLIENT_PROGRAM, wrongIdentifier);
    ASSERT_EQ(mac.run({CODESIGN_TOOL, "sign", "--identifier", "com.quillmoor.Impostor", "--flags",
                       "0x12000", wrongIdentifier.string()})
                  .exitCode,
              0);

    // Same identifier and flags, but not the bundled application: another cdhash.
    const fs::path otherBuild = impostors / "other-build";
    fs::copy_file(CLIENT_PROGRAM, otherBuild);
    ASSERT_EQ(mac.run({CODESIGN_TOOL, "sign", "--identifier", "com.quillmoor.Ventrella", "--flags",
                       "0x12000", "--team", "OTHERTEAM1", otherBuild.string()})
                  .exitCode,
              0);

    // The bundled client with one byte of its image changed: a letter of its usage text, so that
    // it still runs whatever the build's layout.
    const fs::path tampered = impostors / "tampered";
    {
        std::string bytes = readFile(CLIENT_PROGRAM);
        const auto at = bytes.find("usage: ventrella-helper-client");
        ASSERT_NE(at, std::string::npos);
        bytes[at] = 'U';
        std::ofstream(tampered, std::ios::binary) << bytes;
        fs::permissions(tampered, fs::perms::owner_all);
    }

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
    };
    for (const auto& refusal : cases) {
        const fs::path& program = refusal.first;
        const std::string& reason = refusal.second;
        SCOPED_TRACE(reason);
        auto refused = mac.run({program.string(), "apply", "60"});
        EXPECT_NE(refused.exitCode, 0);
        EXPECT_THAT(refused.err, HasSubstr("connection error"));
        EXPECT_THAT(readFile(mac.supportFile("helper-auth.jsonl")),
                    HasSubstr("{\"reason\":\"" + reason + "\""));
        EXPECT_TRUE(eventually([&] {
            return readFile(mac.helperLog()).find("client.rejected reason=" + reason + " pid=") !=
                   std::string::npos;
        })) << readFile(mac.helperLog());
    }
    // None of them got the fans.
    EXPECT_TRUE(fansAre(mac.status(), "automatic"));
    EXPECT_FALSE(fs::exists(mac.supportFile("manual-owner")));
    EXPECT_EQ(mac.client({"status"}).exitCode, 0);
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
