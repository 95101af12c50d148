#pragma once

#include "Platform/XPC/PeerCredentials.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>

namespace platform::xpc {

// How the process behind a new connection is pinned.
enum class PeerPinning {
    // The kernel's own pidfd of the connecting process (SO_PEERPIDFD, kernels
    // 6.5 and later); fromCredentials where the kernel does not have it.
    automatic,
    // A pidfd opened at once from the peer's credentials, refused when that
    // process started after the connection was accepted (its id was reused).
    fromCredentials,
};

// What the kernel attached to one received record: the sender's credentials
// and, where the kernel passes one, a pidfd of the sender (not owned here).
struct SenderCredentials {
    pid_t processIdentifier = 0;
    uid_t effectiveUserIdentifier = 0;
    gid_t effectiveGroupIdentifier = 0;
    int pidfd = -1;
};

// The process on the other side of a connected Unix socket, pinned by a pidfd
// when the connection is accepted, so that neither a reused process id nor a
// process that merely shares the socket can pass for it later. Move-only.
class PeerProcess {
  public:
    // Absent when the peer cannot be pinned: it is gone, or (fromCredentials)
    // the process now under its id started after acceptedAtTicks (boot-time
    // clock ticks, see platform::foundation::bootTimeTicks).
    static std::optional<PeerProcess> pin(int socketDescriptor, PeerPinning pinning,
                                          std::uint64_t acceptedAtTicks);

    PeerProcess(PeerProcess&& other) noexcept;
    PeerProcess& operator=(PeerProcess&& other) noexcept;
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    ~PeerProcess();

    const PeerCredentials& credentials() const { return credentials_; }

    // True until the process exits (a process that exited but was not reaped yet
    // counts as gone). While it is alive its id names nothing else.
    bool isAlive() const;

    // True when a record with these credentials came from this process, alive (its id and, where
    // the kernel passed one, its pidfd).
    bool sent(const SenderCredentials& sender) const;

  private:
    PeerProcess(PeerCredentials credentials, int pidfd)
        : credentials_(credentials), pidfd_(pidfd) {}

    PeerCredentials credentials_;
    int pidfd_ = -1;
};

}  // namespace platform::xpc
