#include "Platform/VirtualMac/OsascriptTool.h"

#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "Platform/Foundation/PlatformRoot.h"
#include "Platform/VirtualMac/MachineControlClient.h"

namespace virtualmac {

namespace {

constexpr std::string_view kPrefix = R"(do shell script ("/bin/zsh " & quoted form of ")";
constexpr std::string_view kSuffix = R"(") with administrator privileges)";
constexpr int kFailure = 1;
// The machine answers once the script has ended; an installation waits for launchd.
constexpr double kScriptSeconds = 300.0;

}  // namespace

std::optional<std::string> administratorScriptPath(std::string_view source) {
    if (source.size() < kPrefix.size() + kSuffix.size() || !source.starts_with(kPrefix) ||
        !source.ends_with(kSuffix)) {
        return std::nullopt;
    }
    const std::string_view quoted =
        source.substr(kPrefix.size(), source.size() - kPrefix.size() - kSuffix.size());
    std::string path;
    for (std::size_t index = 0; index < quoted.size(); ++index) {
        char character = quoted[index];
        if (character == '"' || character == '\0') {
            return std::nullopt;
        }
        if (character == '\\') {
            if (++index == quoted.size() || (quoted[index] != '\\' && quoted[index] != '"')) {
                return std::nullopt;
            }
            character = quoted[index];
        }
        path.push_back(character);
    }
    if (path.empty()) {
        return std::nullopt;
    }
    return path;
}

int runOsascript(const std::vector<std::string>& arguments) {
    const auto path = arguments.size() == 2 && arguments[0] == "-e"
                          ? administratorScriptPath(arguments[1])
                          : std::nullopt;
    if (!path) {
        std::cerr << "osascript: this Mac runs only osascript -e 'do shell script (\"/bin/zsh \" & "
                     "quoted form of \"PATH\") with administrator privileges'\n";
        return kFailure;
    }
    // The machine runs the script: it alone is root, and it asks the person at the prompt.
    std::error_code error;
    const auto script = std::filesystem::absolute(*path, error);
    nlohmann::ordered_json reply;
    try {
        reply = sendControlRequest(platform::foundation::resolveMacPath("/var/run/virtual-mac"),
                                   {{"command", "osascript.run"}, {"path", script.string()}},
                                   kScriptSeconds);
    } catch (const std::runtime_error& failure) {
        std::cerr << "osascript: no simulated Mac answers: " << failure.what() << "\n";
        return kFailure;
    }
    if (!reply.value("ok", false)) {
        std::cerr << "osascript: " << reply.value("error", "the simulated Mac refused") << "\n";
        return kFailure;
    }
    const std::string answer = reply.value("answer", "");
    if (answer == "cancel") {
        return kFailure;
    }
    if (answer != "allow") {
        std::cerr << "Administrator authorization was denied.\n";
        return kFailure;
    }
    std::cout << reply.value("output", "") << std::flush;
    const auto status = reply.find("status");
    return status != reply.end() && status->is_number_integer() && status->get<int>() >= 0 &&
                   status->get<int>() <= 255
               ? status->get<int>()
               : kFailure;
}

}  // namespace virtualmac
