#pragma once

#include <signal.h>
#include <spawn.h>

namespace platform::foundation {

// posix_spawn attributes under which a program starts with no signal blocked and every signal
// at its default disposition, whatever the calling thread blocks or the process ignores (both
// survive exec). `moreFlags` adds attributes the owner sets on get() (POSIX_SPAWN_SETPGROUP).
class CleanSignalSpawnAttributes {
  public:
    explicit CleanSignalSpawnAttributes(short moreFlags = 0) {
        posix_spawnattr_init(&attributes_);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &all);
        posix_spawnattr_setflags(
            &attributes_,
            static_cast<short>(POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | moreFlags));
    }
    ~CleanSignalSpawnAttributes() { posix_spawnattr_destroy(&attributes_); }

    CleanSignalSpawnAttributes(const CleanSignalSpawnAttributes&) = delete;
    CleanSignalSpawnAttributes& operator=(const CleanSignalSpawnAttributes&) = delete;

    posix_spawnattr_t* get() { return &attributes_; }

  private:
    posix_spawnattr_t attributes_;
};

}  // namespace platform::foundation
