// Restore, takeover and apply on every simulated machine, from every state the fans can be in:
// automatic, manual under this helper, automatic with a marker left behind, and manual under
// another application.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "SimulatedMac.h"

namespace ventrella::e2e {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string noMechanism = "No verified SMC fan-control mode mechanism was found.";

enum class Start { automatic, ownManual, leftoverMarker, otherAppManual };
enum class Operation { restore, restoreCommand, takeover, apply };
enum class Fans { automatic, manual, none };

std::string name(Start start) {
    switch (start) {
        case Start::automatic:
            return "from automatic";
        case Start::ownManual:
            return "from manual";
        case Start::leftoverMarker:
            return "with a leftover marker";
        case Start::otherAppManual:
            return "from another application's manual";
    }
    return {};
}

std::string name(Operation operation) {
    switch (operation) {
        case Operation::restore:
            return "restore";
        case Operation::restoreCommand:
            return "--restore-automatic";
        case Operation::takeover:
            return "takeover";
        case Operation::apply:
            return "apply 60";
    }
    return {};
}

struct Expected {
    int exitCode;
    std::string output;  // the start of standard output, or of standard error on failure
    Fans fans;
    bool marker;
};

struct Case {
    Start start;
    Operation operation;
    Expected expected;
};

// What a machine whose fans can be switched does.
std::vector<Case> controllableCases() {
    std::vector<Case> cases;
    for (const Start start :
         {Start::automatic, Start::ownManual, Start::leftoverMarker, Start::otherAppManual}) {
        cases.push_back(
            {start, Operation::restore, {0, "restore: automatic\n", Fans::automatic, false}});
        cases.push_back(
            {start,
             Operation::restoreCommand,
             {0, "Apple Automatic was verified on every fan.\n", Fans::automatic, false}});
        cases.push_back(
            {start, Operation::takeover, {0, "takeover: automatic\n", Fans::automatic, false}});
    }
    cases.push_back(
        {Start::automatic, Operation::apply, {0, "apply: manual at 60%\n", Fans::manual, true}});
    cases.push_back(
        {Start::ownManual, Operation::apply, {0, "apply: manual at 60%\n", Fans::manual, true}});
    // Nothing vouches for fans it finds marked but holds no targets for: they are handed back.
    cases.push_back({Start::leftoverMarker,
                     Operation::apply,
                     {0, "apply: automatic\n", Fans::automatic, false}});
    cases.push_back({Start::otherAppManual,
                     Operation::apply,
                     {1, "error: The fans are being controlled manually by another app.\n",
                      Fans::manual, false}});
    return cases;
}

// What a machine without a way to switch its fans does: every request fails and a leftover
// marker stays, for the fans' state cannot be verified.
std::vector<Case> uncontrollableCases(Fans fans) {
    std::vector<Case> cases;
    for (const Start start : {Start::automatic, Start::leftoverMarker}) {
        const bool marker = start == Start::leftoverMarker;
        cases.push_back(
            {start, Operation::restore, {1, "error: " + noMechanism + "\n", fans, marker}});
        cases.push_back(
            {start,
             Operation::restoreCommand,
             {1, "Apple Automatic could not be verified: " + noMechanism + "\n", fans, marker}});
        cases.push_back(
            {start, Operation::takeover, {1, "error: " + noMechanism + "\n", fans, marker}});
        cases.push_back(
            {start, Operation::apply, {1, "error: " + noMechanism + "\n", fans, marker}});
    }
    return cases;
}

struct Profile {
    std::string name;
    bool controllable;
    std::vector<Case> cases;
};

std::vector<Profile> profiles() {
    return {
        {"apple-silicon", true, controllableCases()},
        {"upper-case-mode", true, controllableCases()},
        {"legacy-mask", true, controllableCases()},
        {"no-control", false, uncontrollableCases(Fans::automatic)},
        {"no-fans", false, uncontrollableCases(Fans::none)},
    };
}

Fans fansOf(const nlohmann::json& status) {
    if (status["fans"].empty())
        return Fans::none;
    for (const auto& fan : status["fans"]) {
        if (fan["mode"] != "automatic")
            return Fans::manual;
    }
    return Fans::automatic;
}

void PrintTo(const Profile& profile, std::ostream* out) {
    *out << profile.name;
}

class AutomaticRestoreE2E : public ::testing::TestWithParam<Profile> {
  protected:
    // Brings the machine into `start`, from whatever the previous case left.
    void enter(SimulatedMac& mac, Start start, bool controllable) {
        if (controllable) {
            ASSERT_EQ(mac.client({"restore"}).exitCode, 0);
        }
        fs::remove(mac.supportFile("manual-owner"));
        switch (start) {
            case Start::automatic:
                break;
            case Start::ownManual:
                ASSERT_EQ(mac.client({"apply", "60"}).exitCode, 0);
                ASSERT_EQ(fansOf(mac.status()), Fans::manual);
                break;
            case Start::leftoverMarker:
                // As a helper that stopped while it held the fans leaves it behind.
                std::ofstream(mac.supportFile("manual-owner")) << "percent=60\ntime=1700000000.0\n";
                break;
            case Start::otherAppManual:
                ASSERT_EQ(mac.virtualMac({"fault", "other-app", "0", "3000"}).exitCode, 0);
                ASSERT_EQ(mac.virtualMac({"fault", "other-app", "1", "3100"}).exitCode, 0);
                ASSERT_EQ(fansOf(mac.status()), Fans::manual);
                break;
        }
    }

    CommandResult perform(SimulatedMac& mac, Operation operation) {
        switch (operation) {
            case Operation::restore:
                return mac.client({"restore"});
            case Operation::restoreCommand:
                return mac.run({HELPER_PROGRAM, "--restore-automatic"});
            case Operation::takeover:
                return mac.client({"takeover"});
            case Operation::apply:
                return mac.client({"apply", "60"});
        }
        return {};
    }
};

TEST_P(AutomaticRestoreE2E, EveryRequestFromEveryState) {
    const Profile& profile = GetParam();
    SimulatedMac mac(profile.name);
    // Without a way to switch the fans even the status is an error, but a reply all the same.
    ASSERT_TRUE(eventually([&] {
        const auto status = mac.client({"status"});
        return status.exitCode == 0 || status.err.starts_with("error: ");
    }));
    for (const Case& testCase : profile.cases) {
        SCOPED_TRACE(name(testCase.operation) + " " + name(testCase.start));
        enter(mac, testCase.start, profile.controllable);
        if (HasFatalFailure())
            return;
        const auto result = perform(mac, testCase.operation);
        const Expected& expected = testCase.expected;
        EXPECT_EQ(result.exitCode, expected.exitCode) << result.out << result.err;
        EXPECT_THAT(expected.exitCode == 0 ? result.out : result.err, StartsWith(expected.output));
        EXPECT_EQ(fansOf(mac.status()), expected.fans);
        EXPECT_EQ(fs::exists(mac.supportFile("manual-owner")), expected.marker);
    }
}

// Once a marker left behind has been cleared, the next apply takes the fans as usual.
TEST(LeftoverMarkerE2E, IsClearedAndTheNextApplyHoldsTheFans) {
    SimulatedMac mac("apple-silicon");
    ASSERT_TRUE(mac.waitForHelper());
    std::ofstream(mac.supportFile("manual-owner")) << "percent=60\ntime=1700000000.0\n";
    EXPECT_EQ(mac.client({"apply", "60"}).out.substr(0, 17), "apply: automatic\n");
    EXPECT_FALSE(fs::exists(mac.supportFile("manual-owner")));
    const auto applied = mac.client({"apply", "60"});
    EXPECT_THAT(applied.out, StartsWith("apply: manual at 60%\n")) << applied.err;
    EXPECT_EQ(fansOf(mac.status()), Fans::manual);
}

INSTANTIATE_TEST_SUITE_P(Profiles, AutomaticRestoreE2E, ::testing::ValuesIn(profiles()),
                         [](const ::testing::TestParamInfo<Profile>& info) {
                             std::string text = info.param.name;
                             std::replace(text.begin(), text.end(), '-', '_');
                             return text;
                         });

}  // namespace
}  // namespace ventrella::e2e
