#include "Platform/Foundation/Pidfd.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace platform::foundation {

int openPidfd(pid_t processIdentifier) {
    if (processIdentifier <= 0) {
        errno = ESRCH;
        return -1;
    }
    // Close-on-exec by itself.
    return static_cast<int>(::syscall(SYS_pidfd_open, processIdentifier, 0));
}

bool pidfdProcessHasExited(int pidfd) {
    pollfd poller{pidfd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&poller, 1, 0);
    } while (ready < 0 && errno == EINTR);
    // Readable means the process has exited; an error is taken the same way.
    return ready != 0;
}

}  // namespace platform::foundation
