#include "InstallationHarness.h"

#include "Support/LocalUser.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>

namespace ventrella::e2e {

namespace fs = std::filesystem;

JoinedOutcome runJoined(const SimulatedMac& mac, const std::vector<std::string>& arguments,
                        double boundSeconds) {
    auto environment = environmentFor(mac.root());
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    auto copy = arguments;
    std::vector<char*> argv;
    for (auto& argument : copy)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe[1], STDERR_FILENO);
    pid_t pid = -1;
    const int started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe[1]);
    if (started != 0) {
        ::close(pipe[0]);
        throw std::runtime_error("cannot start " + arguments[0]);
    }

    JoinedOutcome outcome;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(boundSeconds);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd descriptor{pipe[0], POLLIN, 0};
        if (::poll(&descriptor, 1, static_cast<int>(left.count())) <= 0)
            continue;
        const ssize_t count = ::read(pipe[0], buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            outcome.pipeClosed = true;
            break;
        }
        outcome.output.append(buffer, static_cast<std::size_t>(count));
    }
    ::close(pipe[0]);
    if (!outcome.pipeClosed)
        ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

std::string administratorSource(const std::string& scriptPath) {
    std::string escaped;
    for (const char character : scriptPath) {
        if (character == '\\' || character == '"')
            escaped.push_back('\\');
        escaped.push_back(character);
    }
    return R"(do shell script ("/bin/zsh " & quoted form of ")" + escaped +
           R"(") with administrator privileges)";
}

JoinedOutcome runWithAdministratorPrivileges(const SimulatedMac& mac, const fs::path& script) {
    auto arguments = testsupport::LocalUser::application().launcher();
    arguments.insert(arguments.end(), {(mac.root() / "usr/bin/osascript").string(), "-e",
                                       administratorSource(script.string())});
    return runJoined(mac, arguments);
}

fs::path legacyHelper(const SimulatedMac& mac) {
    return mac.root() / "Library/PrivilegedHelperTools" / helperLabel;
}

fs::path legacyPropertyList(const SimulatedMac& mac) {
    return mac.root() / "Library/LaunchDaemons" / (std::string(helperLabel) + ".plist");
}

std::optional<LoadedHelper> loadedHelper(const SimulatedMac& mac) {
    const auto printed = mac.run(
        {(mac.root() / "bin/launchctl").string(), "print", std::string("system/") + helperLabel});
    if (printed.exitCode != 0)
        return std::nullopt;
    LoadedHelper loaded;
    std::istringstream lines(printed.out);
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("\tprogram = "))
            loaded.program = line.substr(11);
        if (line.starts_with("\tpid = "))
            loaded.pid = std::stoi(line.substr(7));
    }
    return loaded;
}

std::string codeHashOf(const SimulatedMac& mac, const fs::path& program) {
    const auto shown = mac.run({CODESIGN_TOOL, "show", program.string()});
    const auto start = shown.out.find("CDHash=");
    if (shown.exitCode != 0 || start == std::string::npos)
        throw std::runtime_error("no code hash for " + program.string());
    return shown.out.substr(start + 7, 40);
}

}  // namespace ventrella::e2e
