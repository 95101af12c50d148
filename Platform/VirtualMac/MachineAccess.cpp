#include "Platform/VirtualMac/MachineAccess.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <string>
#include <string_view>

#include "Platform/ServiceManagement/ServiceError.h"
#include "Platform/ServiceManagement/ServiceErrorJSON.h"

namespace virtualmac {

namespace {

namespace sm = platform::servicemanagement;

// What applications ask of launchd and of the administrator prompt.
constexpr std::array<std::string_view, 5> kOpenCommands = {
    "service.status", "service.register", "service.unregister", "launchctl.print", "osascript.run"};

}  // namespace

std::optional<uid_t> peerUser(int socketDescriptor) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    if (::getsockopt(socketDescriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof credentials) {
        return std::nullopt;
    }
    return credentials.uid;
}

bool isPrivilegedUser(uid_t user) {
    return user == 0 || user == ::geteuid();
}

bool isPrivilegedPeer(int socketDescriptor) {
    const auto user = peerUser(socketDescriptor);
    return user && isPrivilegedUser(*user);
}

std::optional<nlohmann::ordered_json> controlRefusal(const nlohmann::json& request,
                                                     bool privileged) {
    if (privileged) {
        return std::nullopt;
    }
    const auto found = request.is_object() ? request.find("command") : request.end();
    const std::string command =
        found != request.end() && found->is_string() ? found->get<std::string>() : std::string();
    for (const auto open : kOpenCommands) {
        if (command == open) {
            return std::nullopt;
        }
    }
    const std::string text = command.starts_with("launchctl.")
                                 ? "not permitted: only root may load or unload launchd jobs"
                                 : "not permitted: only root may control the simulated Mac" +
                                       (command.empty() ? std::string() : " (" + command + ")");
    return nlohmann::ordered_json{
        {"ok", false},
        {"notPermitted", true},
        {"error", text},
        {"failure", sm::toJSON(sm::ServiceError(sm::kPOSIXErrorDomain, EPERM, text))}};
}

bool isNotPermitted(const nlohmann::json& reply) {
    if (!reply.is_object()) {
        return false;
    }
    const auto found = reply.find("notPermitted");
    return found != reply.end() && found->is_boolean() && found->get<bool>();
}

}  // namespace virtualmac
