#include "Platform/VirtualMac/CommandLine.h"

#include <gtest/gtest.h>

#include "Platform/VirtualMac/SimulatedWorkspace.h"

using virtualmac::CommandLine;
using virtualmac::UsageError;

namespace {

CommandLine parse(std::vector<std::string> words) {
    return CommandLine::parse(words);
}

// The text of the UsageError a command line raises, or "" when it parses.
std::string usageErrorOf(std::vector<std::string> words) {
    try {
        CommandLine::parse(words);
    } catch (const UsageError& error) {
        return error.what();
    }
    return "";
}

}  // namespace

TEST(CommandLine, ParsesStartWithItsOptionsAndTheRootAnywhere) {
    const auto line = parse({"start", "--speed", "12.5", "--profile", "legacy-mask", "--root",
                             "/tmp/mac", "--foreground"});
    EXPECT_EQ(line.action, CommandLine::Action::start);
    EXPECT_EQ(line.profile, "legacy-mask");
    EXPECT_DOUBLE_EQ(line.speed, 12.5);
    EXPECT_TRUE(line.foreground);
    ASSERT_TRUE(line.root.has_value());
    EXPECT_EQ(line.root->string(), "/tmp/mac");

    const auto plain = parse({"--root", "r", "start", "--profile", "no-fans"});
    EXPECT_DOUBLE_EQ(plain.speed, 1.0);
    EXPECT_FALSE(plain.foreground);
    EXPECT_EQ(parse({"help"}).action, CommandLine::Action::help);
}

TEST(CommandLine, BuildsTheMachineRequestOfEachControlCommand) {
    EXPECT_EQ(parse({"load", "--cpu", "75"}).request,
              (nlohmann::json{{"command", "load"}, {"cpu", 75.0}}));
    EXPECT_EQ(parse({"load", "--gpu", "0", "--cpu", "100"}).request,
              (nlohmann::json{{"command", "load"}, {"cpu", 100.0}, {"gpu", 0.0}}));
    const auto status = parse({"status", "--json"});
    EXPECT_TRUE(status.json);
    EXPECT_EQ(status.request, (nlohmann::json{{"command", "status"}}));
    EXPECT_EQ(
        parse({"fault", "refuse-writes", "F0md", "--result", "0x85"}).request,
        (nlohmann::json{
            {"command", "fault"}, {"kind", "refuse-writes"}, {"key", "F0md"}, {"result", 0x85}}));
    EXPECT_EQ(parse({"fault", "result-code", "FS! ", "153"}).request,
              (nlohmann::json{
                  {"command", "fault"}, {"kind", "result-code"}, {"key", "FS! "}, {"code", 153}}));
    EXPECT_EQ(
        parse({"fault", "other-app", "1", "4200"}).request,
        (nlohmann::json{{"command", "fault"}, {"kind", "other-app"}, {"fan", 1}, {"rpm", 4200.0}}));
    EXPECT_EQ(parse({"fault", "drop-manual", "0"}).request["fan"], 0);
    EXPECT_EQ(parse({"fault", "ftst-stuck"}).request["kind"], "ftst-stuck");
    EXPECT_EQ(parse({"clear-faults"}).request, (nlohmann::json{{"command", "clear-faults"}}));
    EXPECT_EQ(parse({"stop"}).action, CommandLine::Action::control);
}

TEST(CommandLine, RejectsBadArgumentsWithAClearReason) {
    EXPECT_NE(usageErrorOf({}).find("no command"), std::string::npos);
    EXPECT_NE(usageErrorOf({"reboot"}).find("unknown command \"reboot\""), std::string::npos);
    EXPECT_NE(usageErrorOf({"start"}).find("--profile"), std::string::npos);
    EXPECT_NE(usageErrorOf({"start", "--profile", "m9"}).find("unknown machine profile \"m9\""),
              std::string::npos);
    EXPECT_NE(usageErrorOf({"start", "--profile", "no-fans", "--speed", "0"}).find("--speed"),
              std::string::npos);
    EXPECT_NE(usageErrorOf({"start", "--profile", "no-fans", "--speed", "fast"}).find("number"),
              std::string::npos);
    EXPECT_NE(usageErrorOf({"load"}).find("--cpu"), std::string::npos);
    EXPECT_NE(usageErrorOf({"load", "--cpu", "101"}).find("0 to 100"), std::string::npos);
    EXPECT_NE(usageErrorOf({"load", "--cpu", "nan"}).find("number"), std::string::npos);
    EXPECT_NE(usageErrorOf({"load", "--cpu"}).find("needs a value"), std::string::npos);
    EXPECT_NE(usageErrorOf({"fault"}).find("fault kind"), std::string::npos);
    EXPECT_NE(usageErrorOf({"fault", "melt"}).find("unknown fault kind"), std::string::npos);
    EXPECT_NE(usageErrorOf({"fault", "refuse-writes", "FS!"}).find("four characters"),
              std::string::npos);
    EXPECT_NE(usageErrorOf({"fault", "result-code", "F0Tg", "256"}).find("0 to 255"),
              std::string::npos);
    EXPECT_NE(usageErrorOf({"fault", "other-app", "1", "-5"}).find("negative"), std::string::npos);
    EXPECT_NE(usageErrorOf({"fault", "drop-manual", "-1"}).find("whole number"), std::string::npos);
    EXPECT_NE(usageErrorOf({"status", "--verbose"}).find("unexpected argument \"--verbose\""),
              std::string::npos);
    EXPECT_NE(usageErrorOf({"stop", "--root"}).find("--root"), std::string::npos);
}

TEST(CommandLine, BuildsTheWorkspaceRequestsAndWaitsLongerForSleep) {
    EXPECT_EQ(parse({"thermal-state", "serious"}).request,
              (nlohmann::json{{"command", "thermal-state"}, {"state", "serious"}}));
    const auto sleep = parse({"sleep"});
    EXPECT_EQ(sleep.request, (nlohmann::json{{"command", "sleep"}}));
    // The machine may wait out its observers before it answers.
    EXPECT_GT(sleep.timeoutSeconds, virtualmac::SimulatedWorkspace::kSleepWaitSeconds);
    EXPECT_EQ(parse({"wake"}).request, (nlohmann::json{{"command", "wake"}}));
    EXPECT_EQ(parse({"accessibility", "reduce-motion", "on"}).request,
              (nlohmann::json{{"command", "accessibility"}, {"reduceMotion", true}}));
    EXPECT_EQ(parse({"accessibility", "reduce-motion", "off"}).request,
              (nlohmann::json{{"command", "accessibility"}, {"reduceMotion", false}}));
    EXPECT_DOUBLE_EQ(parse({"wake"}).timeoutSeconds, 5.0);
    EXPECT_EQ(parse({"fault", "unreadable-temperatures"}).request,
              (nlohmann::json{{"command", "fault"}, {"kind", "unreadable-temperatures"}}));

    EXPECT_NE(usageErrorOf({"thermal-state"}).find("needs a state"), std::string::npos);
    EXPECT_NE(usageErrorOf({"thermal-state", "hot"}).find("unknown thermal state \"hot\""),
              std::string::npos);
    EXPECT_NE(usageErrorOf({"sleep", "now"}).find("unexpected argument"), std::string::npos);
    EXPECT_NE(usageErrorOf({"accessibility", "reduce-transparency", "on"})
                  .find("unknown accessibility setting \"reduce-transparency\""),
              std::string::npos);
    EXPECT_NE(usageErrorOf({"accessibility", "reduce-motion", "yes"})
                  .find("reduce-motion takes on or off, not \"yes\""),
              std::string::npos);
    EXPECT_NE(usageErrorOf({"accessibility", "reduce-motion"}).find("needs on or off"),
              std::string::npos);
}
