#include "Platform/XPC/PeerCredentials.h"

#include <sys/socket.h>

namespace platform::xpc {

std::optional<PeerCredentials> peerCredentials(int socketDescriptor) {
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(socketDescriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
        length != sizeof(credentials)) {
        return std::nullopt;
    }
    return PeerCredentials{credentials.pid, credentials.uid, credentials.gid};
}

}  // namespace platform::xpc
