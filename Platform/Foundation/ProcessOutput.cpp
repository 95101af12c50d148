#include "Platform/Foundation/ProcessOutput.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "Platform/Foundation/CleanSignalSpawnAttributes.h"
#include "Platform/Foundation/NullTerminatedPointers.h"
#include "Platform/Foundation/ScopedDescriptor.h"

extern char** environ;

namespace platform::foundation {

namespace {

struct FileActions {
    posix_spawn_file_actions_t actions;
    FileActions() { posix_spawn_file_actions_init(&actions); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
};

}  // namespace

ProcessOutput runJoiningOutput(const std::filesystem::path& program,
                               const std::vector<std::string>& arguments) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(), "cannot create a pipe");
    }
    ScopedDescriptor readEnd(ends[0]);
    ScopedDescriptor writeEnd(ends[1]);

    std::string path = program.string();
    std::vector<std::string> copies{path};
    copies.insert(copies.end(), arguments.begin(), arguments.end());
    const auto argv = nullTerminatedPointers(copies);

    FileActions file;
    int result =
        posix_spawn_file_actions_addopen(&file.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (result == 0) {
        // dup2 clears close-on-exec on the copies, so the program keeps exactly these.
        result = posix_spawn_file_actions_adddup2(&file.actions, writeEnd.get(), STDOUT_FILENO);
    }
    if (result == 0) {
        result = posix_spawn_file_actions_adddup2(&file.actions, writeEnd.get(), STDERR_FILENO);
    }
    if (result == 0) {
        result = posix_spawn_file_actions_addclosefrom_np(&file.actions, STDERR_FILENO + 1);
    }
    // The application blocks its termination signals in every thread.
    CleanSignalSpawnAttributes signals;
    pid_t pid = -1;
    if (result == 0) {
        result =
            ::posix_spawn(&pid, path.c_str(), &file.actions, signals.get(), argv.data(), environ);
    }
    if (result != 0) {
        throw std::system_error(result, std::generic_category(), "cannot start " + path);
    }
    writeEnd.reset();

    ProcessOutput outcome;
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(readEnd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        const std::size_t room = maximumOutputBytes - outcome.output.size();
        outcome.output.append(buffer, std::min(room, static_cast<std::size_t>(count)));
    }
    readEnd.reset();
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category(), "cannot wait for " + path);
        }
    }
    outcome.terminationStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

}  // namespace platform::foundation
