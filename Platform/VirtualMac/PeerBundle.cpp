#include "Platform/VirtualMac/PeerBundle.h"

#include <sys/stat.h>

#include <string>
#include <system_error>

#include "Platform/Foundation/Bundle.h"
#include "Platform/Foundation/ProcessStartTime.h"
#include "Platform/XPC/PeerProcess.h"

namespace virtualmac {

std::optional<std::filesystem::path> peerBundle(int socketDescriptor) {
    namespace xpc = platform::xpc;
    const auto process = xpc::PeerProcess::pin(socketDescriptor, xpc::PeerPinning::automatic,
                                               platform::foundation::bootTimeTicks());
    if (!process) {
        return std::nullopt;
    }
    const std::string link =
        "/proc/" + std::to_string(process->credentials().processIdentifier) + "/exe";
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink(link, error);
    struct stat running {};
    struct stat named {};
    if (error || !executable.is_absolute() || ::stat(link.c_str(), &running) != 0 ||
        ::stat(executable.c_str(), &named) != 0 || running.st_dev != named.st_dev ||
        running.st_ino != named.st_ino) {
        return std::nullopt;
    }
    // Still alive, so what was read under its id is its own.
    if (!process->isAlive()) {
        return std::nullopt;
    }
    return platform::foundation::Bundle::bundlePathForExecutable(executable);
}

}  // namespace virtualmac
