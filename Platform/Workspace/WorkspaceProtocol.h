#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Workspace/ThermalState.h"

namespace platform::workspace {

// The simulated machine's workspace socket, beside its other sockets in
// "/var/run/virtual-mac" of the platform root.
inline constexpr std::string_view kWorkspaceSocketName = "workspace.sock";
std::filesystem::path workspaceSocketPath();

// Both ways, one JSON object per line of at most kMaximumWorkspaceLine bytes (the newline
// included); either end drops a peer that sends anything else.
//   machine -> application: {"event": "thermal-state", "state": "nominal"},
//                           {"event": "accessibility", "reduceMotion": false}  (both on
//                           connecting and on every change), {"event": "will-sleep", "id": N},
//                           {"event": "did-wake", "id": N}
//   application -> machine: {"command": "acknowledge", "id": N}  (the will-sleep N handled),
//                           {"command": "open-login-items"}
inline constexpr std::size_t kMaximumWorkspaceLine = 1024;

struct WorkspaceEvent {
    enum class Kind { thermalState, willSleep, didWake, accessibility };
    Kind kind = Kind::thermalState;
    ThermalState state = ThermalState::nominal;  // thermalState
    std::uint64_t id = 0;                        // willSleep, didWake
    bool reduceMotion = false;                   // accessibility

    bool operator==(const WorkspaceEvent&) const = default;
};

struct WorkspaceCommand {
    enum class Kind { acknowledge, openLoginItems };
    Kind kind = Kind::acknowledge;
    std::uint64_t id = 0;  // acknowledge

    bool operator==(const WorkspaceCommand&) const = default;
};

// A line, ending in '\n'.
std::string encodeWorkspaceEvent(const WorkspaceEvent& event);
std::string encodeWorkspaceCommand(const WorkspaceCommand& command);

// A line without its '\n'; nothing when it is not exactly one of the messages above.
std::optional<WorkspaceEvent> decodeWorkspaceEvent(std::string_view line);
std::optional<WorkspaceCommand> decodeWorkspaceCommand(std::string_view line);

}  // namespace platform::workspace
