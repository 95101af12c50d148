#include "Platform/VirtualMac/MachineAccess.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string>
#include <string_view>

#include "Platform/ServiceManagement/ServiceError.h"
#include "Platform/ServiceManagement/ServiceErrorJSON.h"
#include "Platform/VirtualMac/PeerBundle.h"
#include "Platform/XPC/PeerCredentials.h"

namespace virtualmac {

namespace {

namespace sm = platform::servicemanagement;

// What applications ask of launchd about the daemons of a bundle.
constexpr std::array<std::string_view, 3> kServiceCommands = {"service.status", "service.register",
                                                              "service.unregister"};
// What any program may ask of launchd and of the administrator prompt.
constexpr std::array<std::string_view, 2> kOpenCommands = {"launchctl.print", "osascript.run"};

nlohmann::ordered_json notPermitted(const std::string& text) {
    return nlohmann::ordered_json{
        {"ok", false},
        {"notPermitted", true},
        {"error", text},
        {"failure", sm::toJSON(sm::ServiceError(sm::kPOSIXErrorDomain, EPERM, text))}};
}

// Leaves a bundle that is not an absolute path, or that cannot be resolved, as it stands.
void resolveBundle(nlohmann::json& request) {
    const auto found = request.find("bundle");
    if (found == request.end() || !found->is_string()) {
        return;
    }
    const std::filesystem::path bundle = found->get<std::string>();
    std::error_code error;
    auto resolved = bundle.is_absolute() ? std::filesystem::weakly_canonical(bundle, error)
                                         : std::filesystem::path();
    if (!resolved.empty() && !error) {
        *found = resolved.string();
    }
}

}  // namespace

std::optional<uid_t> peerUser(int socketDescriptor) {
    const auto credentials = platform::xpc::peerCredentials(socketDescriptor);
    if (!credentials) {
        return std::nullopt;
    }
    return credentials->effectiveUserIdentifier;
}

bool isPrivilegedUser(uid_t user) {
    return user == 0 || user == ::geteuid();
}

bool isPrivilegedPeer(int socketDescriptor) {
    const auto user = peerUser(socketDescriptor);
    return user && isPrivilegedUser(*user);
}

ControlPeer ControlPeer::of(int socketDescriptor) {
    ControlPeer peer;
    peer.privileged = isPrivilegedPeer(socketDescriptor);
    if (!peer.privileged) {
        peer.bundle = peerBundle(socketDescriptor);
    }
    return peer;
}

std::optional<nlohmann::ordered_json> admitControlRequest(nlohmann::json& request,
                                                          const ControlPeer& peer) {
    const auto found = request.is_object() ? request.find("command") : request.end();
    const std::string command =
        found != request.end() && found->is_string() ? found->get<std::string>() : std::string();
    const bool service = std::ranges::find(kServiceCommands, command) != kServiceCommands.end();
    if (service) {
        resolveBundle(request);
    }
    if (peer.privileged || std::ranges::find(kOpenCommands, command) != kOpenCommands.end()) {
        return std::nullopt;
    }
    if (service) {
        const auto bundle = request.find("bundle");
        if (peer.bundle && bundle != request.end() && bundle->is_string() &&
            std::filesystem::path(bundle->get<std::string>()) == *peer.bundle) {
            return std::nullopt;
        }
        return notPermitted(
            "not permitted: an application may register, unregister and look up only the "
            "daemons of its own bundle");
    }
    return notPermitted(command.starts_with("launchctl.")
                            ? "not permitted: only root may load or unload launchd jobs"
                            : "not permitted: only root may control the simulated Mac" +
                                  (command.empty() ? std::string() : " (" + command + ")"));
}

bool isNotPermitted(const nlohmann::json& reply) {
    if (!reply.is_object()) {
        return false;
    }
    const auto found = reply.find("notPermitted");
    return found != reply.end() && found->is_boolean() && found->get<bool>();
}

}  // namespace virtualmac
