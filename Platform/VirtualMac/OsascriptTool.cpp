#include "Platform/VirtualMac/OsascriptTool.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "Platform/Foundation/NullTerminatedPointers.h"
#include "Platform/Foundation/PlatformRoot.h"
#include "Platform/VirtualMac/MachineControlClient.h"

namespace virtualmac {

namespace {

constexpr std::string_view kPrefix = R"(do shell script ("/bin/zsh " & quoted form of ")";
constexpr std::string_view kSuffix = R"(") with administrator privileges)";
constexpr std::string_view kShell = "/bin/zsh";
constexpr int kFailure = 1;

// As under `do shell script`: a fixed search path, the machine's root, nothing else inherited.
std::vector<std::string> scriptEnvironment() {
    std::vector<std::string> environment{"PATH=/usr/bin:/bin:/usr/sbin:/sbin", "USER=root",
                                         "LOGNAME=root", "SHELL=/bin/zsh"};
    if (const char* root = std::getenv("VIRTUAL_MAC_ROOT"); root != nullptr && *root != '\0') {
        environment.push_back(std::string("VIRTUAL_MAC_ROOT=") + root);
    }
    return environment;
}

// Runs the script with the shell and this process's output; its exit status.
int runScript(const std::string& path) {
    auto environment = scriptEnvironment();
    const auto envp = platform::foundation::nullTerminatedPointers(environment);
    std::string shell(kShell);
    std::string script = path;
    char* argv[] = {shell.data(), script.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    // Only the output pipe reaches the script, nothing else this process holds.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    pid_t pid = -1;
    const int result = ::posix_spawn(&pid, shell.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        std::cerr << "osascript: cannot run " << kShell << ": " << std::strerror(result) << "\n";
        return kFailure;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return 128 + WTERMSIG(status);
}

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
    if (::geteuid() != 0) {
        std::cerr << "osascript: administrator privileges need the simulated Mac to run as root\n";
        return kFailure;
    }
    std::string answer;
    try {
        const auto reply =
            sendControlRequest(platform::foundation::resolveMacPath("/var/run/virtual-mac"),
                               {{"command", "authorization.ask"}});
        if (!reply.value("ok", false)) {
            std::cerr << "osascript: the simulated Mac cannot authorize: "
                      << reply.value("error", "no reason given") << "\n";
            return kFailure;
        }
        answer = reply.value("answer", "");
    } catch (const MachineNotRunning& error) {
        std::cerr << "osascript: no simulated Mac answers: " << error.what() << "\n";
        return kFailure;
    }
    if (answer == "cancel") {
        return kFailure;
    }
    if (answer != "allow") {
        std::cerr << "Administrator authorization was denied.\n";
        return kFailure;
    }
    return runScript(*path);
}

}  // namespace virtualmac
