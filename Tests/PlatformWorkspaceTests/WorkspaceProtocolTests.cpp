#include "Platform/Workspace/WorkspaceProtocol.h"

#include <gtest/gtest.h>

using namespace platform::workspace;

namespace {

using EventKind = WorkspaceEvent::Kind;
using CommandKind = WorkspaceCommand::Kind;

std::string withoutNewline(std::string line) {
    EXPECT_EQ(line.back(), '\n');
    line.pop_back();
    return line;
}

}  // namespace

TEST(WorkspaceProtocol, EveryMessageSurvivesItsLine) {
    for (const WorkspaceEvent& event : {
             WorkspaceEvent{EventKind::thermalState, ThermalState::nominal, 0},
             WorkspaceEvent{EventKind::thermalState, ThermalState::fair, 0},
             WorkspaceEvent{EventKind::thermalState, ThermalState::serious, 0},
             WorkspaceEvent{EventKind::thermalState, ThermalState::critical, 0},
             WorkspaceEvent{EventKind::willSleep, ThermalState::nominal, 7},
             WorkspaceEvent{EventKind::didWake, ThermalState::nominal, UINT64_MAX},
             WorkspaceEvent{EventKind::accessibility, ThermalState::nominal, 0, true},
             WorkspaceEvent{EventKind::accessibility, ThermalState::nominal, 0, false},
         }) {
        const std::string line = withoutNewline(encodeWorkspaceEvent(event));
        EXPECT_EQ(decodeWorkspaceEvent(line), event) << line;
        EXPECT_FALSE(decodeWorkspaceCommand(line).has_value()) << line;
    }
    for (const WorkspaceCommand& command : {
             WorkspaceCommand{CommandKind::acknowledge, 3},
             WorkspaceCommand{CommandKind::openLoginItems, 0},
         }) {
        const std::string line = withoutNewline(encodeWorkspaceCommand(command));
        EXPECT_EQ(decodeWorkspaceCommand(line), command) << line;
    }
    EXPECT_EQ(encodeWorkspaceEvent({EventKind::thermalState, ThermalState::serious, 0}),
              "{\"event\":\"thermal-state\",\"state\":\"serious\"}\n");
}

TEST(WorkspaceProtocol, AnythingElseIsNoMessage) {
    const std::string padding(kMaximumWorkspaceLine, ' ');
    for (const std::string& line : {
             std::string(""),
             std::string("not json"),
             std::string("[\"will-sleep\", 1]"),
             std::string(R"({"event":"thermal-state","state":"hot"})"),
             std::string(R"({"event":"thermal-state","state":2})"),
             std::string(R"({"event":"thermal-state"})"),
             std::string(R"({"event":"will-sleep","id":-1})"),
             std::string(R"({"event":"will-sleep","id":1.5})"),
             std::string(R"({"event":"will-sleep","id":"1"})"),
             std::string(R"({"event":"did-wake","id":1,"extra":true})"),
             std::string(R"({"event":"power-off","id":1})"),
             std::string(R"({"event":"accessibility","reduceMotion":"on"})"),
             std::string(R"({"event":"accessibility","reduceMotion":true,"id":1})"),
             std::string(R"({"event":"did-wake","id":1})") + padding,
         }) {
        EXPECT_FALSE(decodeWorkspaceEvent(line).has_value()) << line;
    }
    for (const std::string& line : {
             std::string(R"({"command":"acknowledge"})"),
             std::string(R"({"command":"acknowledge","id":-4})"),
             std::string(R"({"command":"open-login-items","pane":"x"})"),
             std::string(R"({"command":"reboot"})"),
             std::string(R"({"command":"acknowledge","id":1})") + padding,
         }) {
        EXPECT_FALSE(decodeWorkspaceCommand(line).has_value()) << line;
    }
}
