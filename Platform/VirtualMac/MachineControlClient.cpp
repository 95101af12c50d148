#include "Platform/VirtualMac/MachineControlClient.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include "Platform/VirtualMac/MachineServer.h"

namespace virtualmac {

namespace {

// Closes the descriptor on every path out.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

}  // namespace

nlohmann::ordered_json sendControlRequest(const std::filesystem::path& runDirectory,
                                  const nlohmann::json& request, double timeoutSeconds) {
    const std::string path = MachineServer::controlSocketPath(runDirectory).string();
    const std::string notRunning = "no machine is running (nothing answers on " + path + ")";
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        throw MachineNotRunning("the control socket path is too long: " + path);
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    Descriptor socket{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (socket.fd < 0) {
        throw MachineNotRunning(notRunning);
    }
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(timeoutSeconds);
    timeout.tv_usec = static_cast<suseconds_t>(std::fmod(timeoutSeconds, 1.0) * 1e6);
    ::setsockopt(socket.fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(socket.fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::connect(socket.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        throw MachineNotRunning(notRunning);
    }
    const std::string line = request.dump() + "\n";
    std::size_t sent = 0;
    while (sent < line.size()) {
        const ssize_t count =
            ::send(socket.fd, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            throw MachineNotRunning(notRunning);
        }
        sent += static_cast<std::size_t>(count);
    }
    std::string reply;
    char buffer[4096];
    while (reply.find('\n') == std::string::npos) {
        const ssize_t count = ::recv(socket.fd, buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            throw MachineNotRunning("the machine did not answer on " + path);
        }
        reply.append(buffer, static_cast<std::size_t>(count));
    }
    reply.resize(reply.find('\n'));
    try {
        return nlohmann::ordered_json::parse(reply);
    } catch (const nlohmann::json::parse_error&) {
        throw MachineNotRunning("the machine answered with something other than JSON on " + path);
    }
}

}  // namespace virtualmac
