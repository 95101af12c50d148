#pragma once

#include <sys/types.h>

#include <optional>

namespace platform::xpc {

// Who is on the other side of a connected Unix socket, as the kernel recorded
// it when the peer connected (or, for a listening peer, when it listened).
struct PeerCredentials {
    pid_t processIdentifier = 0;
    uid_t effectiveUserIdentifier = 0;
    gid_t effectiveGroupIdentifier = 0;
};

// Absent when the kernel cannot tell (not a connected Unix socket).
std::optional<PeerCredentials> peerCredentials(int socketDescriptor);

}  // namespace platform::xpc
