#include "Support/ProbeProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "Platform/Foundation/NullTerminatedPointers.h"
#include "Support/Eventually.h"

extern char** environ;

namespace ventrella::testsupport {

ProbeProcess::ProbeProcess(const std::filesystem::path& program,
                           const std::vector<std::string>& extraEnvironment,
                           const std::vector<std::string>& launcher,
                           const std::vector<std::string>& probeArguments) {
    int toProbe[2], fromProbe[2];
    if (::pipe2(toProbe, O_CLOEXEC) != 0 || ::pipe2(fromProbe, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    // The inherited environment without loader settings, plus the case's own.
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (text.rfind("LD_", 0) != 0)
            environment.push_back(text);
    }
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    const auto envp = platform::foundation::nullTerminatedPointers(environment);
    std::vector<std::string> arguments = launcher;
    arguments.push_back(program.string());
    arguments.insert(arguments.end(), probeArguments.begin(), probeArguments.end());
    const auto argv = platform::foundation::nullTerminatedPointers(arguments);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toProbe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromProbe[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int spawned = ::posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(toProbe[0]);
    ::close(fromProbe[1]);
    input_ = toProbe[1];
    output_ = fromProbe[0];
    if (spawned != 0) {
        pid_ = -1;
        throw std::runtime_error(std::string("posix_spawn failed: ") + std::strerror(spawned));
    }
}

ProbeProcess::~ProbeProcess() {
    if (input_ >= 0)
        ::close(input_);
    if (output_ >= 0)
        ::close(output_);
    if (pid_ > 0 && !reaped_) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::string ProbeProcess::readLine(std::chrono::milliseconds bound) {
    std::string line;
    char c = 0;
    while (true) {
        pollfd poller{output_, POLLIN, 0};
        // A real bound: a probe that never answers must not hang the suite.
        if (::poll(&poller, 1, static_cast<int>(bound.count())) <= 0)
            return {};
        if (::read(output_, &c, 1) != 1)
            return {};
        if (c == '\n')
            return line;
        line.push_back(c);
    }
}

void ProbeProcess::send(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(input_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        throw std::runtime_error("cannot write to the probe");
}

int ProbeProcess::finish() {
    if (input_ >= 0)
        ::close(input_);
    input_ = -1;
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    return status;
}

bool ProbeProcess::waitUntilExitedButNotReaped() {
    if (input_ >= 0)
        ::close(input_);
    input_ = -1;
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) == 0;
}

}  // namespace ventrella::testsupport
