#include <gtest/gtest.h>

#include "Platform/VirtualMac/AdministratorAuthorization.h"
#include "Platform/VirtualMac/CommandLine.h"
#include "Platform/VirtualMac/MachineControl.h"
#include "Platform/VirtualMac/MachineProfile.h"
#include "Platform/VirtualMac/OsascriptTool.h"
#include "Platform/VirtualMac/StandInTools.h"

namespace virtualmac {
namespace {

using nlohmann::json;

const std::string prefix = R"(do shell script ("/bin/zsh " & quoted form of ")";
const std::string suffix = R"(") with administrator privileges)";

TEST(Osascript, RunsOnlyTheAdministratorShellScriptFormAndUnescapesItsPath) {
    ASSERT_EQ(prefix.size(), 47u);
    ASSERT_EQ(suffix.size(), 32u);
    struct Case {
        std::string source;
        std::optional<std::string> path;
    };
    const Case cases[] = {
        {prefix + "/Applications/Ventrella.app/Contents/Resources/install-helper.sh" + suffix,
         "/Applications/Ventrella.app/Contents/Resources/install-helper.sh"},
        {prefix + R"(/a \"quoted\" and \\back\\slashed/x.sh)" + suffix,
         R"(/a "quoted" and \back\slashed/x.sh)"},
        {prefix + R"(/tmp/\\\")" + suffix, R"(/tmp/\")"},
        {prefix + "/tmp/ünïcode €.sh" + suffix, "/tmp/ünïcode €.sh"},
        // An unescaped quote ends the string early: the source says something else.
        {prefix + R"(/tmp/x" & "y)" + suffix, std::nullopt},
        {prefix + R"(/tmp/\n)" + suffix, std::nullopt},
        {prefix + R"(/tmp/x\)" + suffix, std::nullopt},
        {prefix + suffix, std::nullopt},
        {prefix + "/tmp/x.sh" + R"("))", std::nullopt},
        {R"(do shell script "/bin/zsh /tmp/x.sh" with administrator privileges)", std::nullopt},
        {"display dialog \"hello\"", std::nullopt},
        {"", std::nullopt},
        {prefix + std::string("/tmp/\0x", 7) + suffix, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(administratorScriptPath(c.source), c.path) << c.source;
    }
}

TEST(StandInTools, AreFoundByTheirProgramName) {
    ASSERT_TRUE(standInToolNamed("/tmp/root/usr/bin/osascript").has_value());
    EXPECT_EQ(standInToolNamed("osascript")->macPath, "/usr/bin/osascript");
    EXPECT_EQ(standInToolNamed("/r/bin/launchctl")->macPath, "/bin/launchctl");
    EXPECT_FALSE(standInToolNamed("/usr/local/bin/virtual-mac").has_value());
    EXPECT_FALSE(standInToolNamed("").has_value());
}

TEST(StandInTools, CommandLineSetsTheAuthorizationAnswerAndTheApproval) {
    EXPECT_EQ(CommandLine::parse({"authorization", "deny"}).request,
              (json{{"command", "authorization"}, {"answer", "deny"}}));
    EXPECT_EQ(CommandLine::parse({"approval", "grant"}).request,
              (json{{"command", "approval"}, {"action", "grant"}}));
    for (const auto& words : std::vector<std::vector<std::string>>{{"authorization"},
                                                                   {"authorization", "maybe"},
                                                                   {"approval", "later"},
                                                                   {"approval", "grant", "now"}}) {
        EXPECT_THROW(CommandLine::parse(words), UsageError) << words.front();
    }
}

TEST(StandInTools, TheMachineAsksItsExtensionsForCommandsItDoesNotKnow) {
    VirtualMachine machine(MachineProfile::named("no-fans"));
    MachineControl control(machine, 1.0, [] {});
    AdministratorAuthorization authorization;
    control.addExtension([&](const std::string& command, const json& request) {
        return authorization.handle(command, request);
    });

    EXPECT_EQ(authorization.answer(), AdministratorAuthorization::Answer::allow);
    EXPECT_EQ(control.handle({{"command", "authorization"}, {"answer", "cancel"}})["ok"], true);
    EXPECT_EQ(authorization.answer(), AdministratorAuthorization::Answer::cancel);

    const auto refused = control.handle({{"command", "authorization"}, {"answer", "sure"}});
    EXPECT_EQ(refused["ok"], false);
    EXPECT_EQ(authorization.answer(), AdministratorAuthorization::Answer::cancel);
    EXPECT_EQ(control.handle({{"command", "no-such-thing"}})["ok"], false);
}

}  // namespace
}  // namespace virtualmac
