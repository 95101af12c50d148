#pragma once

#include <sys/types.h>

namespace platform::foundation {

// A pidfd refers to one process for as long as it is open: once the process exits, a reused
// process id names another process, never the one the pidfd holds.

// A close-on-exec pidfd of the process; -1 with errno when there is none.
int openPidfd(pid_t processIdentifier);

// True once the pidfd's process has exited (a process not yet reaped included), and for a pidfd
// that cannot be asked.
bool pidfdProcessHasExited(int pidfd);

}  // namespace platform::foundation
