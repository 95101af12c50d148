#include "Platform/XPC/PeerProcess.h"

#include "Platform/Foundation/Pidfd.h"
#include "Platform/Foundation/ProcessStartTime.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

// Newer than the C library's headers on some systems.
#ifndef SO_PEERPIDFD
#define SO_PEERPIDFD 77
#endif

namespace platform::xpc {

namespace {

// Pidfds of one process share their inode where pidfds have a file system of their own (6.9 and
// later); before that all pidfds share one inode and only the process id tells them apart.
bool couldBeSameProcess(int left, int right) {
    struct stat a {};
    struct stat b {};
    if (::fstat(left, &a) != 0 || ::fstat(right, &b) != 0) {
        return false;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int kernelPeerPidfd(int socketDescriptor, bool& unsupported) {
    int pidfd = -1;
    socklen_t length = sizeof(pidfd);
    if (::getsockopt(socketDescriptor, SOL_SOCKET, SO_PEERPIDFD, &pidfd, &length) != 0) {
        unsupported = errno == ENOPROTOOPT || errno == EINVAL;
        return -1;
    }
    return pidfd;
}

int pidfdFromCredentials(const PeerCredentials& credentials, std::uint64_t acceptedAtTicks) {
    const int pidfd = foundation::openPidfd(credentials.processIdentifier);
    if (pidfd < 0) {
        return -1;
    }
    // A process that started after the connection was accepted cannot have made it.
    const auto started = foundation::processStartTime(credentials.processIdentifier);
    if (!started || *started > acceptedAtTicks) {
        ::close(pidfd);
        return -1;
    }
    return pidfd;
}

}  // namespace

std::optional<PeerProcess> PeerProcess::pin(int socketDescriptor, PeerPinning pinning,
                                            std::uint64_t acceptedAtTicks) {
    const auto credentials = peerCredentials(socketDescriptor);
    if (!credentials || credentials->processIdentifier <= 0) {
        return std::nullopt;
    }
    int pidfd = -1;
    bool unsupported = pinning == PeerPinning::fromCredentials;
    if (pinning == PeerPinning::automatic) {
        pidfd = kernelPeerPidfd(socketDescriptor, unsupported);
    }
    if (pidfd < 0 && unsupported) {
        pidfd = pidfdFromCredentials(*credentials, acceptedAtTicks);
    }
    if (pidfd < 0) {
        return std::nullopt;
    }
    PeerProcess process(*credentials, pidfd);
    if (!process.isAlive()) {
        return std::nullopt;
    }
    return process;
}

PeerProcess::PeerProcess(PeerProcess&& other) noexcept
    : credentials_(other.credentials_), pidfd_(std::exchange(other.pidfd_, -1)) {}

PeerProcess& PeerProcess::operator=(PeerProcess&& other) noexcept {
    if (this != &other) {
        if (pidfd_ >= 0) {
            ::close(pidfd_);
        }
        credentials_ = other.credentials_;
        pidfd_ = std::exchange(other.pidfd_, -1);
    }
    return *this;
}

PeerProcess::~PeerProcess() {
    if (pidfd_ >= 0) {
        ::close(pidfd_);
    }
}

bool PeerProcess::isAlive() const {
    return pidfd_ >= 0 && !foundation::pidfdProcessHasExited(pidfd_);
}

bool PeerProcess::sent(const SenderCredentials& sender) const {
    // The process is the identity, not its user ids (a record names the real user, the
    // connection the effective one).
    if (sender.processIdentifier != credentials_.processIdentifier) {
        return false;
    }
    if (sender.pidfd >= 0 && !couldBeSameProcess(sender.pidfd, pidfd_)) {
        return false;
    }
    // While the pinned process lives, its id is its own.
    return isAlive();
}

}  // namespace platform::xpc
