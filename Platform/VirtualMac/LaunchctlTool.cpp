#include "Platform/VirtualMac/LaunchctlTool.h"

#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "Platform/Foundation/PlatformRoot.h"
#include "Platform/ServiceManagement/ServiceError.h"
#include "Platform/VirtualMac/MachineControlClient.h"

namespace virtualmac {

namespace {

constexpr int kFailure = 1;
constexpr int kUsage = 64;
// Unloading waits for the daemon to end (at most the supervisor's grace).
constexpr double kRequestSeconds = 30.0;

std::optional<std::string> systemLabel(const std::string& target) {
    constexpr std::string_view domain = "system/";
    if (!target.starts_with(domain) || target.size() == domain.size()) {
        return std::nullopt;
    }
    return target.substr(domain.size());
}

std::optional<nlohmann::json> requestFor(const std::vector<std::string>& arguments) {
    if (arguments.size() == 3 && arguments[0] == "bootstrap" && arguments[1] == "system") {
        std::error_code error;
        const auto path = std::filesystem::absolute(arguments[2], error);
        if (error) {
            return std::nullopt;
        }
        return nlohmann::json{{"command", "launchctl.bootstrap"}, {"path", path.string()}};
    }
    if (arguments.size() == 2 && (arguments[0] == "bootout" || arguments[0] == "print")) {
        if (const auto label = systemLabel(arguments[1])) {
            return nlohmann::json{{"command", "launchctl." + arguments[0]}, {"label", *label}};
        }
    }
    return std::nullopt;
}

}  // namespace

int runLaunchctl(const std::vector<std::string>& arguments) {
    const auto request = requestFor(arguments);
    if (!request) {
        std::cerr << "usage: launchctl bootstrap system PLIST | bootout system/LABEL | "
                     "print system/LABEL\n";
        return kUsage;
    }
    nlohmann::ordered_json reply;
    try {
        reply = sendControlRequest(platform::foundation::resolveMacPath("/var/run/virtual-mac"),
                                   *request, kRequestSeconds);
    } catch (const std::runtime_error& error) {
        std::cerr << "launchctl: " << error.what() << "\n";
        return kFailure;
    }
    if (!reply.value("ok", false)) {
        std::cerr << "launchctl: " << reply.value("error", "refused") << "\n";
        const auto& failure = reply["failure"];
        if (failure.is_object() &&
            failure.value("domain", "") == platform::servicemanagement::kPOSIXErrorDomain &&
            failure.value("code", 0) > 0 && failure.value("code", 0) < 126) {
            return failure.value("code", kFailure);
        }
        return kFailure;
    }
    if (arguments[0] == "print") {
        std::cout << arguments[1] << " = {\n"
                  << "\tstate = " << (reply["pid"].is_number() ? "running" : "not running") << "\n";
        if (reply["pid"].is_number()) {
            std::cout << "\tpid = " << reply["pid"].dump() << "\n";
        }
        std::cout << "\tprogram = " << reply.value("program", "") << "\n"
                  << "\tmanaged by = "
                  << (reply.value("registered", false) ? "application" : "launchctl") << "\n}\n";
    }
    return 0;
}

}  // namespace virtualmac
