#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "InstallationHarness.h"

namespace ventrella::e2e {
namespace {

namespace fs = std::filesystem;

const std::string removedMessage =
    "Ventrella Helper was removed; fan control is now managed by Apple Automatic.\n";

fs::path bundledHelper(const SimulatedMac& mac) {
    return mac.root() / "Applications/Ventrella.app/Contents/Library/LaunchServices" / helperLabel;
}

// Signs the bundle's application again, with or without a team.
void resign(const SimulatedMac& mac, bool withTeam) {
    std::vector<std::string> arguments{
        CODESIGN_TOOL, "sign", "--identifier", "com.quillmoor.Ventrella", "--flags", "0x12000"};
    if (withTeam) {
        arguments.insert(arguments.end(), {"--team", "QM7V3NTR1A"});
    }
    arguments.push_back(mac.bundledClient().string());
    ASSERT_EQ(mac.run(arguments).exitCode, 0);
}

// The application registers its helper, the user approves it, and the registered helper
// answers the application; installing again replaces it; removal unregisters it.
TEST(HelperInstaller, RegistersTheHelperWhichRunsOnceApprovedAndRemovesIt) {
    SimulatedMac mac("apple-silicon", {"--bundle-only", "--codesign", CODESIGN_TOOL});
    EXPECT_EQ(mac.client({"installed"}).out, "not installed\n");

    ASSERT_EQ(mac.virtualMac({"approval", "require"}).exitCode, 0);
    auto installed = mac.client({"install"});
    ASSERT_EQ(installed.exitCode, 0) << installed.out << installed.err;
    EXPECT_EQ(installed.out, "requires approval\n");
    EXPECT_EQ(mac.client({"installed"}).out, "installed\n") << "waiting for approval counts";
    EXPECT_FALSE(loadedHelper(mac).has_value()) << "an unapproved helper runs";
    installed = mac.client({"install"});
    EXPECT_EQ(installed.out, "requires approval\n") << "installing while approval is pending";

    ASSERT_EQ(mac.virtualMac({"approval", "grant"}).exitCode, 0);
    ASSERT_TRUE(mac.waitForHelper()) << "the registered helper does not answer the application";
    EXPECT_EQ(loadedHelper(mac)->program, bundledHelper(mac).string());
    EXPECT_FALSE(fs::exists(legacyHelper(mac)));

    // Installing over the running helper unregisters it and registers it again.
    ASSERT_EQ(mac.virtualMac({"approval", "off"}).exitCode, 0);
    ASSERT_TRUE(eventually([&] { return mac.helperProcess().has_value(); }));
    const pid_t first = *mac.helperProcess();
    installed = mac.client({"install"});
    ASSERT_EQ(installed.exitCode, 0) << installed.out;
    EXPECT_EQ(installed.out, "installed\n");
    ASSERT_TRUE(mac.waitForHelper());
    EXPECT_TRUE(eventually([&] {
        const auto now = mac.helperProcess();
        return now && *now != first;
    }));

    const auto removed = mac.client({"uninstall"});
    ASSERT_EQ(removed.exitCode, 0) << removed.out;
    EXPECT_EQ(removed.out, removedMessage);
    EXPECT_FALSE(loadedHelper(mac).has_value());
    EXPECT_TRUE(eventually([&] { return !mac.helperProcess().has_value(); }));
    EXPECT_EQ(mac.client({"installed"}).out, "not installed\n");
    EXPECT_EQ(mac.client({"uninstall"}).out, removedMessage) << "removing what is not there";
}

// Signed without a team, the application installs through its scripts with the user's
// administrator authorization.
TEST(HelperInstaller, WithoutATeamTheScriptsInstallAndRemoveTheHelperWhenAuthorized) {
    SimulatedMac mac("apple-silicon", {"--bundle-only", "--codesign", CODESIGN_TOOL});
    resign(mac, false);

    struct Refusal {
        std::string answer;
        std::string output;
    };
    for (const Refusal& refusal :
         {Refusal{"deny", "error: Administrator authorization was denied.\n\n"},
          Refusal{"cancel", "error: Helper installation was cancelled.\n"}}) {
        SCOPED_TRACE(refusal.answer);
        ASSERT_EQ(mac.virtualMac({"authorization", refusal.answer}).exitCode, 0);
        const auto refused = mac.client({"install"});
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_EQ(refused.out, refusal.output);
        EXPECT_FALSE(fs::exists(legacyHelper(mac)));
        EXPECT_EQ(mac.client({"installed"}).out, "not installed\n");
    }

    ASSERT_EQ(mac.virtualMac({"authorization", "allow"}).exitCode, 0);
    const auto installed = mac.client({"install"});
    ASSERT_EQ(installed.exitCode, 0) << installed.out;
    EXPECT_EQ(installed.out, "installed\n");
    EXPECT_TRUE(fs::exists(legacyHelper(mac)));
    EXPECT_EQ(mac.client({"installed"}).out, "installed\n");
    ASSERT_TRUE(mac.waitForHelper()) << "the installed helper does not answer the application";
    EXPECT_EQ(loadedHelper(mac)->program, legacyHelper(mac).string());

    ASSERT_EQ(mac.virtualMac({"authorization", "cancel"}).exitCode, 0);
    const auto kept = mac.client({"uninstall"});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_EQ(kept.out, "error: Helper removal was cancelled.\n");
    EXPECT_TRUE(fs::exists(legacyHelper(mac)));

    ASSERT_EQ(mac.virtualMac({"authorization", "allow"}).exitCode, 0);
    const auto removed = mac.client({"uninstall"});
    ASSERT_EQ(removed.exitCode, 0) << removed.out;
    EXPECT_EQ(removed.out, removedMessage);
    EXPECT_FALSE(fs::exists(legacyHelper(mac)));
    EXPECT_FALSE(loadedHelper(mac).has_value());
    EXPECT_EQ(mac.client({"installed"}).out, "not installed\n");
}

// A helper the scripts installed is removed through its script before the registration.
TEST(HelperInstaller, RegisteringReplacesAHelperTheScriptsInstalled) {
    SimulatedMac mac("apple-silicon", {"--bundle-only", "--codesign", CODESIGN_TOOL});
    resign(mac, false);
    ASSERT_EQ(mac.client({"install"}).exitCode, 0);
    ASSERT_TRUE(fs::exists(legacyHelper(mac)));

    resign(mac, true);
    const auto installed = mac.client({"install"});
    ASSERT_EQ(installed.exitCode, 0) << installed.out;
    EXPECT_EQ(installed.out, "installed\n");
    EXPECT_FALSE(fs::exists(legacyHelper(mac)));
    ASSERT_TRUE(mac.waitForHelper());
    EXPECT_EQ(loadedHelper(mac)->program, bundledHelper(mac).string());
}

}  // namespace
}  // namespace ventrella::e2e
