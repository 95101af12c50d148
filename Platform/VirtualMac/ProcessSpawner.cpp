#include "Platform/VirtualMac/ProcessSpawner.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>

#include "Platform/Foundation/CleanSignalSpawnAttributes.h"
#include "Platform/Foundation/NullTerminatedPointers.h"

namespace virtualmac {

pid_t spawnProcess(std::vector<std::string> arguments, std::vector<std::string> environment,
                   int output) {
    const auto argv = platform::foundation::nullTerminatedPointers(arguments);
    const auto envp = platform::foundation::nullTerminatedPointers(environment);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, "/");
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    // Default signal handling and a process group of its own, as under launchd.
    platform::foundation::CleanSignalSpawnAttributes attributes(POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(attributes.get(), 0);
    pid_t pid = -1;
    const int result =
        ::posix_spawn(&pid, argv[0], &actions, attributes.get(), argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        errno = result;
        return -1;
    }
    return pid;
}

}  // namespace virtualmac
