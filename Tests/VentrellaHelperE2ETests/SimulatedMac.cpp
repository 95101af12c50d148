#include "SimulatedMac.h"
#include "Support/FileContents.h"
#include "Support/LocalUser.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace ventrella::e2e {

namespace fs = std::filesystem;

namespace {

using testsupport::readFile;

pid_t spawnWith(const fs::path& root, const std::vector<std::string>& arguments,
                const std::string& out, const std::string& err) {
    auto environment = environmentFor(root);
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    auto copy = arguments;
    std::vector<char*> argv;
    for (auto& argument : copy)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int result = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
        throw std::runtime_error("cannot start " + arguments[0]);
    return pid;
}

}  // namespace

std::vector<std::string> environmentFor(const fs::path& root) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (std::strncmp(*entry, "VIRTUAL_MAC_ROOT=", 17) != 0)
            environment.emplace_back(*entry);
    }
    environment.push_back("VIRTUAL_MAC_ROOT=" + root.string());
    return environment;
}

bool eventually(const std::function<bool()>& condition, double seconds) {
    return testsupport::eventually(condition, std::chrono::duration<double>(seconds),
                                   std::chrono::milliseconds(50));
}

SimulatedMac::SimulatedMac(const std::string& profile,
                           const std::vector<std::string>& installOptions, double speed) {
    // Short, so the sockets' paths fit.
    std::string pattern = "/tmp/vm-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp");
    root_ = pattern;
    // A Mac's root is root's and open to every user (mkdtemp makes it 0700).
    fs::permissions(root_, fs::perms(0755));
    std::vector<std::string> install{"/bin/bash", INSTALL_SCRIPT};
    install.insert(install.end(), installOptions.begin(), installOptions.end());
    install.insert(install.end(), {root_.string(), HELPER_PROGRAM, CLIENT_PROGRAM});
    auto installed = run(install);
    if (installed.exitCode != 0)
        throw std::runtime_error("install failed: " + installed.err);
    std::ostringstream speedText;
    speedText << speed;
    auto started = virtualMac({"start", "--profile", profile, "--speed", speedText.str()});
    if (started.exitCode != 0) {
        killEverything();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
        throw std::runtime_error("virtual-mac did not start: " + started.err);
    }
}

SimulatedMac::~SimulatedMac() {
    virtualMac({"stop"});
    // The machine stops its daemons; whatever is left (a test killed something) goes now.
    eventually([this] { return !helperProcess().has_value(); }, 5.0);
    killEverything();
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

void SimulatedMac::killEverything() const {
    const std::string marker = "VIRTUAL_MAC_ROOT=" + root_.string();
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const pid_t pid = std::stoi(name);
        if (pid == ::getpid())
            continue;
        const std::string environment = readFile(entry.path() / "environ");
        std::size_t start = 0;
        while (start < environment.size()) {
            const auto end = environment.find('\0', start);
            if (environment.compare(start,
                                    (end == std::string::npos ? environment.size() : end) - start,
                                    marker) == 0) {
                ::kill(pid, SIGKILL);
                break;
            }
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
}

fs::path SimulatedMac::supportFile(const std::string& name) const {
    return root_ / "Library/Application Support/Ventrella" / name;
}

fs::path SimulatedMac::bundledClient() const {
    return root_ / "Applications/Ventrella.app/Contents/MacOS/Ventrella";
}

fs::path SimulatedMac::helperLog() const {
    return root_ / "var/log/unified/com.quillmoor.Ventrella.helper.log";
}

CommandResult SimulatedMac::run(const std::vector<std::string>& arguments) const {
    // Tests run commands from several threads at once.
    static std::atomic<int> counter = 0;
    const std::string base =
        "/tmp/vm-out-" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
    const pid_t pid = spawnWith(root_, arguments, base + ".out", base + ".err");
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    CommandResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.out = readFile(base + ".out");
    result.err = readFile(base + ".err");
    fs::remove(base + ".out");
    fs::remove(base + ".err");
    return result;
}

pid_t SimulatedMac::spawn(const std::vector<std::string>& arguments) const {
    return spawnWith(root_, arguments, "/dev/null", "/dev/null");
}

CommandResult SimulatedMac::virtualMac(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {VIRTUAL_MAC_TOOL, "--root", root_.string()});
    return run(arguments);
}

CommandResult SimulatedMac::client(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), bundledClient().string());
    const auto launcher = testsupport::LocalUser::application().launcher();
    arguments.insert(arguments.begin(), launcher.begin(), launcher.end());
    return run(arguments);
}

nlohmann::json SimulatedMac::status() const {
    auto result = virtualMac({"status", "--json"});
    if (result.exitCode != 0)
        throw std::runtime_error("status failed: " + result.err);
    return nlohmann::json::parse(result.out);
}

std::optional<pid_t> SimulatedMac::helperProcess() const {
    const fs::path helper = root_ /
                            "Applications/Ventrella.app/Contents/Library/LaunchServices/"
                            "com.quillmoor.Ventrella.helper";
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code error;
        const auto exe = fs::read_symlink(entry.path() / "exe", error);
        if (!error && exe == helper) {
            // A zombie has no exe link; this one runs.
            return std::stoi(name);
        }
    }
    return std::nullopt;
}

bool SimulatedMac::waitForHelper() const {
    return eventually([this] { return client({"status"}).exitCode == 0; });
}

}  // namespace ventrella::e2e
