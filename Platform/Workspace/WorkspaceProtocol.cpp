#include "Platform/Workspace/WorkspaceProtocol.h"

#include <nlohmann/json.hpp>

#include "Platform/Foundation/PlatformRoot.h"

namespace platform::workspace {

namespace {

using nlohmann::json;

std::optional<json> parseObject(std::string_view line) {
    if (line.size() >= kMaximumWorkspaceLine) {
        return std::nullopt;
    }
    json object = json::parse(line, nullptr, false);
    if (!object.is_object()) {
        return std::nullopt;
    }
    return object;
}

std::optional<std::string> text(const json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

std::optional<std::uint64_t> identifier(const json& object) {
    const auto found = object.find("id");
    if (found == object.end() || !found->is_number_unsigned()) {
        return std::nullopt;
    }
    return found->get<std::uint64_t>();
}

}  // namespace

std::filesystem::path workspaceSocketPath() {
    return foundation::resolveMacPath("/var/run/virtual-mac") / kWorkspaceSocketName;
}

std::string encodeWorkspaceEvent(const WorkspaceEvent& event) {
    nlohmann::ordered_json object;
    switch (event.kind) {
        case WorkspaceEvent::Kind::thermalState:
            object["event"] = "thermal-state";
            object["state"] = thermalStateName(event.state);
            break;
        case WorkspaceEvent::Kind::willSleep:
            object["event"] = "will-sleep";
            object["id"] = event.id;
            break;
        case WorkspaceEvent::Kind::didWake:
            object["event"] = "did-wake";
            object["id"] = event.id;
            break;
        case WorkspaceEvent::Kind::accessibility:
            object["event"] = "accessibility";
            object["reduceMotion"] = event.reduceMotion;
            break;
    }
    return object.dump() + "\n";
}

std::string encodeWorkspaceCommand(const WorkspaceCommand& command) {
    nlohmann::ordered_json object;
    switch (command.kind) {
        case WorkspaceCommand::Kind::acknowledge:
            object["command"] = "acknowledge";
            object["id"] = command.id;
            break;
        case WorkspaceCommand::Kind::openLoginItems:
            object["command"] = "open-login-items";
            break;
    }
    return object.dump() + "\n";
}

std::optional<WorkspaceEvent> decodeWorkspaceEvent(std::string_view line) {
    const auto object = parseObject(line);
    const auto name = object ? text(*object, "event") : std::nullopt;
    if (!name) {
        return std::nullopt;
    }
    if (*name == "thermal-state" && object->size() == 2) {
        const auto stateName = text(*object, "state");
        const auto state = stateName ? thermalStateNamed(*stateName) : std::nullopt;
        if (state) {
            return WorkspaceEvent{WorkspaceEvent::Kind::thermalState, *state, 0};
        }
    } else if (*name == "accessibility" && object->size() == 2) {
        const auto found = object->find("reduceMotion");
        if (found != object->end() && found->is_boolean()) {
            WorkspaceEvent event{WorkspaceEvent::Kind::accessibility, ThermalState::nominal, 0};
            event.reduceMotion = found->get<bool>();
            return event;
        }
    } else if ((*name == "will-sleep" || *name == "did-wake") && object->size() == 2) {
        if (const auto id = identifier(*object)) {
            return WorkspaceEvent{*name == "will-sleep" ? WorkspaceEvent::Kind::willSleep
                                                        : WorkspaceEvent::Kind::didWake,
                                  ThermalState::nominal, *id};
        }
    }
    return std::nullopt;
}

std::optional<WorkspaceCommand> decodeWorkspaceCommand(std::string_view line) {
    const auto object = parseObject(line);
    const auto name = object ? text(*object, "command") : std::nullopt;
    if (!name) {
        return std::nullopt;
    }
    if (*name == "acknowledge" && object->size() == 2) {
        if (const auto id = identifier(*object)) {
            return WorkspaceCommand{WorkspaceCommand::Kind::acknowledge, *id};
        }
    } else if (*name == "open-login-items" && object->size() == 1) {
        return WorkspaceCommand{WorkspaceCommand::Kind::openLoginItems, 0};
    }
    return std::nullopt;
}

}  // namespace platform::workspace
