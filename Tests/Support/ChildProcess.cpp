#include "Support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "Platform/Foundation/NullTerminatedPointers.h"
#include "Support/FileContents.h"

extern char** environ;

namespace ventrella::testsupport {

std::vector<std::string> environmentWith(
    const std::map<std::string, std::optional<std::string>>& changes) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text(*entry);
        const std::string name = text.substr(0, text.find('='));
        if (changes.find(name) == changes.end()) {
            environment.push_back(text);
        }
    }
    for (const auto& [name, value] : changes) {
        if (value) {
            environment.push_back(name + "=" + *value);
        }
    }
    return environment;
}

ChildProcess::ChildProcess(Options options) {
    if (options.arguments.empty()) {
        throw std::invalid_argument("ChildProcess needs a program");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, options.output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, options.errors.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (const auto& [here, there] : options.descriptors) {
        posix_spawn_file_actions_adddup2(&actions, here, there);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int number : {SIGTERM, SIGINT, SIGHUP, SIGPIPE, SIGCHLD}) {
        sigaddset(&defaults, number);
    }
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    auto argv = platform::foundation::nullTerminatedPointers(options.arguments);
    auto envp = platform::foundation::nullTerminatedPointers(options.environment);
    const int result =
        posix_spawnp(&pid_, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        throw std::runtime_error("cannot start " + options.arguments[0] + ": " +
                                 std::strerror(result));
    }
}

ChildProcess::~ChildProcess() {
    kill();
}

bool ChildProcess::reap(bool block) {
    if (status_) {
        return true;
    }
    int status = 0;
    pid_t reaped = 0;
    do {
        reaped = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (reaped < 0 && errno == EINTR);
    if (reaped != pid_) {
        return false;
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

bool ChildProcess::running() {
    return !reap(false);
}

void ChildProcess::signal(int number) const {
    if (!status_) {
        ::kill(pid_, number);
    }
}

std::optional<int> ChildProcess::waitForExit(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return status_;
}

void ChildProcess::kill() {
    if (pid_ > 0 && !status_) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
}

CommandResult runCommand(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment, double seconds) {
    char pattern[] = "/tmp/ventrella-command-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp");
    }
    const std::filesystem::path folder(pattern);
    CommandResult result;
    {
        ChildProcess::Options options;
        options.arguments = arguments;
        options.environment = environment;
        options.output = folder / "out";
        options.errors = folder / "err";
        ChildProcess process(std::move(options));
        result.status = process.waitForExit(seconds).value_or(-1);
    }
    result.output = readFile(folder / "out");
    result.errors = readFile(folder / "err");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}

}  // namespace ventrella::testsupport
