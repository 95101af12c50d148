#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "InstallationHarness.h"

namespace ventrella::e2e {
namespace {

namespace fs = std::filesystem;

const std::string installed = "Ventrella Helper was installed.\n";
const std::string removed =
    "Ventrella Helper was removed; fan control is now managed by Apple Automatic.\n";

struct Ownership {
    uid_t owner;
    unsigned mode;
    bool operator==(const Ownership&) const = default;
};

Ownership ownershipOf(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return {static_cast<uid_t>(-1), 0};
    return {info.st_uid, static_cast<unsigned>(info.st_mode & 07777)};
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A bundle whose path holds a blank, double quotes and a backslash: each reaches the shell intact.
fs::path awkwardBundle(const SimulatedMac& mac) {
    const fs::path bundle = mac.root() / "Applications/My \"Fan\" \\ Tools/Ventrella.app";
    fs::create_directories(bundle.parent_path());
    fs::copy(mac.root() / "Applications/Ventrella.app", bundle,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    return bundle;
}

TEST(HelperScripts, InstallWithAuthorizationThenTheHelperAnswersAndRemovalTakesItAway) {
    SimulatedMac mac("apple-silicon", {"--bundle-only", "--codesign", CODESIGN_TOOL});
    const fs::path bundle = awkwardBundle(mac);
    const fs::path scripts = bundle / "Contents/Resources";
    EXPECT_NE(mac.client({"status"}).exitCode, 0) << "no helper before installation";

    auto outcome = runWithAdministratorPrivileges(mac, scripts / "install-helper.sh");
    EXPECT_TRUE(outcome.pipeClosed) << "a child of the script held the output pipe";
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(outcome.output, installed);

    const fs::path support = mac.root() / "Library/Application Support/Ventrella";
    EXPECT_EQ(ownershipOf(legacyHelper(mac)), (Ownership{0, 0755}));
    EXPECT_EQ(ownershipOf(legacyPropertyList(mac)), (Ownership{0, 0644}));
    EXPECT_EQ(ownershipOf(support / "client-cdhash"), (Ownership{0, 0644}));
    for (const auto& folder : {legacyHelper(mac).parent_path(), support}) {
        EXPECT_EQ(ownershipOf(folder), (Ownership{0, 0755})) << folder;
    }
    EXPECT_EQ(contents(support / "client-cdhash"),
              codeHashOf(mac, bundle / "Contents/MacOS/Ventrella") + "\n");
    const auto loaded = loadedHelper(mac);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->program, legacyHelper(mac).string());
    ASSERT_TRUE(mac.waitForHelper()) << "the installed helper does not answer the application";

    // Installing over a running helper stops it first and starts the new one.
    ASSERT_TRUE(eventually([&] { return loadedHelper(mac) && loadedHelper(mac)->pid; }));
    const pid_t first = *loadedHelper(mac)->pid;
    outcome = runWithAdministratorPrivileges(mac, scripts / "install-helper.sh");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_TRUE(outcome.pipeClosed);
    EXPECT_TRUE(eventually([&] {
        const auto now = loadedHelper(mac);
        return now && now->pid && *now->pid != first;
    }));
    EXPECT_NE(::kill(first, 0), 0) << "the replaced helper still runs";
    ASSERT_TRUE(mac.waitForHelper());

    outcome = runWithAdministratorPrivileges(mac, scripts / "uninstall-helper.sh");
    EXPECT_TRUE(outcome.pipeClosed);
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_EQ(outcome.output, removed);
    EXPECT_FALSE(fs::exists(legacyHelper(mac)));
    EXPECT_FALSE(fs::exists(legacyPropertyList(mac)));
    EXPECT_FALSE(loadedHelper(mac).has_value());
    EXPECT_NE(mac.client({"status"}).exitCode, 0);

    outcome = runWithAdministratorPrivileges(mac, scripts / "uninstall-helper.sh");
    EXPECT_EQ(outcome.exitCode, 0) << "removing what is not there: " << outcome.output;
}

TEST(HelperScripts, DeniedOrCancelledAuthorizationRunsNothing) {
    SimulatedMac mac("no-fans", {"--bundle-only", "--codesign", CODESIGN_TOOL});
    const fs::path script =
        mac.root() / "Applications/Ventrella.app/Contents/Resources/install-helper.sh";
    struct Case {
        std::string answer;
        std::string output;
    };
    for (const Case& c :
         {Case{"deny", "Administrator authorization was denied.\n"}, Case{"cancel", ""}}) {
        SCOPED_TRACE(c.answer);
        ASSERT_EQ(mac.virtualMac({"authorization", c.answer}).exitCode, 0);
        const auto outcome = runWithAdministratorPrivileges(mac, script);
        EXPECT_EQ(outcome.exitCode, 1);
        EXPECT_EQ(outcome.output, c.output);
        EXPECT_FALSE(fs::exists(legacyHelper(mac)));
    }
}

TEST(HelperScripts, FailuresExitNonZeroWithOneClearLineAndLeaveNothingBehind) {
    SimulatedMac mac("no-fans", {"--bundle-only", "--codesign", CODESIGN_TOOL});
    const fs::path bundle = mac.root() / "Applications/Ventrella.app";
    const fs::path outside = mac.root() / "tmp/install-helper.sh";
    fs::create_directories(outside.parent_path());
    fs::copy_file(bundle / "Contents/Resources/install-helper.sh", outside);

    const auto notInBundle = runWithAdministratorPrivileges(mac, outside);
    EXPECT_EQ(notInBundle.exitCode, 1);
    EXPECT_EQ(notInBundle.output,
              "Helper installation failed: the script is not inside an application bundle.\n");

    const auto otherSource =
        runJoined(mac, {(mac.root() / "usr/bin/osascript").string(), "-e", "beep"});
    EXPECT_EQ(otherSource.exitCode, 1);
    EXPECT_EQ(std::count(otherSource.output.begin(), otherSource.output.end(), '\n'), 1)
        << otherSource.output;

    // An application whose image no longer matches its signature gets no helper.
    std::ofstream(bundle / "Contents/MacOS/Ventrella", std::ios::app) << "tampered";
    const auto tampered =
        runWithAdministratorPrivileges(mac, bundle / "Contents/Resources/install-helper.sh");
    EXPECT_EQ(tampered.exitCode, 1);
    EXPECT_EQ(tampered.output,
              "Helper installation failed: the application's code signature is not valid.\n");
    EXPECT_FALSE(fs::exists(legacyHelper(mac)));
    EXPECT_FALSE(fs::exists(mac.supportFile("client-cdhash")));
}

}  // namespace
}  // namespace ventrella::e2e
