#include "Platform/XPC/MessageSocket.h"

#include "Platform/XPC/Frame.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

// Newer than the C library's headers on some systems.
#ifndef SO_PASSPIDFD
#define SO_PASSPIDFD 76
#endif
#ifndef SCM_PIDFD
#define SCM_PIDFD 0x04
#endif

namespace platform::xpc {

namespace {

// Room for the credentials, a pidfd and a few descriptors a hostile peer may add (those that do not
// fit are dropped by the kernel and flagged with MSG_CTRUNC).
constexpr std::size_t kControlBytes =
    CMSG_SPACE(sizeof(ucred)) + CMSG_SPACE(sizeof(int)) + CMSG_SPACE(8 * sizeof(int));

void closeDescriptors(const cmsghdr* header) {
    const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
    for (std::size_t i = 0; i < count; ++i) {
        int descriptor = -1;
        std::memcpy(&descriptor, CMSG_DATA(header) + i * sizeof(int), sizeof(int));
        if (descriptor >= 0) {
            ::close(descriptor);
        }
    }
}

}  // namespace

ReceivedRecord::ReceivedRecord(ReceivedRecord&& other) noexcept
    : outcome(other.outcome), size(other.size), sender(other.sender) {
    other.sender.pidfd = -1;
}

ReceivedRecord::~ReceivedRecord() {
    if (sender.pidfd >= 0) {
        ::close(sender.pidfd);
    }
}

int openMessageSocket() {
    const int descriptor = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (descriptor >= 0 && !requestSenderCredentials(descriptor)) {
        const int error = errno;
        ::close(descriptor);
        errno = error;
        return -1;
    }
    return descriptor;
}

bool requestSenderCredentials(int socketDescriptor) {
    const int on = 1;
    if (::setsockopt(socketDescriptor, SOL_SOCKET, SO_PASSCRED, &on, sizeof(on)) != 0) {
        return false;
    }
    // Older kernels do not have it; the credentials alone still name the sender.
    (void)::setsockopt(socketDescriptor, SOL_SOCKET, SO_PASSPIDFD, &on, sizeof(on));
    return true;
}

ReceivedRecord receiveRecord(int socketDescriptor, std::span<std::uint8_t> buffer) {
    alignas(cmsghdr) unsigned char control[kControlBytes];
    iovec vector{buffer.data(), buffer.size()};
    msghdr message{};
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);

    ReceivedRecord result;
    ssize_t count = 0;
    do {
        count = ::recvmsg(socketDescriptor, &message, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
    } while (count < 0 && errno == EINTR);
    if (count < 0) {
        result.outcome = (errno == EAGAIN || errno == EWOULDBLOCK)
                             ? ReceivedRecord::Outcome::wouldBlock
                         : errno == ECONNRESET ? ReceivedRecord::Outcome::closed
                                               : ReceivedRecord::Outcome::failed;
        return result;
    }

    bool credentials = false;
    bool foreignDescriptors = false;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET) {
            continue;
        }
        if (header->cmsg_type == SCM_CREDENTIALS && header->cmsg_len == CMSG_LEN(sizeof(ucred))) {
            ucred sender{};
            std::memcpy(&sender, CMSG_DATA(header), sizeof(sender));
            result.sender.processIdentifier = sender.pid;
            result.sender.effectiveUserIdentifier = sender.uid;
            result.sender.effectiveGroupIdentifier = sender.gid;
            credentials = true;
        } else if (header->cmsg_type == SCM_PIDFD && header->cmsg_len == CMSG_LEN(sizeof(int))) {
            int pidfd = -1;
            std::memcpy(&pidfd, CMSG_DATA(header), sizeof(int));
            if (result.sender.pidfd >= 0) {
                ::close(result.sender.pidfd);
            }
            result.sender.pidfd = pidfd;
        } else if (header->cmsg_type == SCM_RIGHTS) {
            closeDescriptors(header);
            foreignDescriptors = true;
        }
    }
    if (count == 0 && !credentials) {
        result.outcome = ReceivedRecord::Outcome::closed;
        return result;
    }
    const bool truncated = (message.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) != 0;
    result.outcome = (count == 0 || !credentials || foreignDescriptors || truncated)
                         ? ReceivedRecord::Outcome::violation
                         : ReceivedRecord::Outcome::record;
    result.size = static_cast<std::size_t>(count);
    return result;
}

SendOutcome sendRecord(int socketDescriptor, std::span<const std::uint8_t> bytes) {
    ssize_t count = 0;
    do {
        count = ::send(socketDescriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (count < 0 && errno == EINTR);
    if (count == static_cast<ssize_t>(bytes.size())) {
        return SendOutcome::sent;
    }
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return SendOutcome::wouldBlock;
    }
    return SendOutcome::failed;
}

bool hasPendingInput(int socketDescriptor) {
    std::uint8_t byte = 0;
    ssize_t count = 0;
    do {
        count = ::recv(socketDescriptor, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    } while (count < 0 && errno == EINTR);
    return !(count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK));
}

}  // namespace platform::xpc
