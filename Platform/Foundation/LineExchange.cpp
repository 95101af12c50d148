#include "Platform/Foundation/LineExchange.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "Platform/Foundation/ScopedDescriptor.h"

namespace platform::foundation {

std::string exchangeLine(const std::filesystem::path& socket, std::string_view line,
                         double timeoutSeconds, std::size_t maximumAnswerBytes) {
    using Kind = LineExchangeError::Kind;
    const std::string path = socket.string();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        throw LineExchangeError(Kind::unreachable, "the socket path is too long: " + path);
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ScopedDescriptor descriptor(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (descriptor.get() < 0) {
        throw LineExchangeError(Kind::unreachable, "no socket: " + std::string(strerror(errno)));
    }
    timeval timeout{};
    timeout.tv_sec = static_cast<time_t>(timeoutSeconds);
    timeout.tv_usec = static_cast<suseconds_t>(std::fmod(timeoutSeconds, 1.0) * 1e6);
    ::setsockopt(descriptor.get(), SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(descriptor.get(), SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::connect(descriptor.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) !=
        0) {
        if (errno == EACCES || errno == EPERM) {
            throw LineExchangeError(Kind::refused, "permission denied on " + path);
        }
        throw LineExchangeError(Kind::unreachable, "nothing answers on " + path);
    }
    std::string request(line);
    request.push_back('\n');
    std::size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t count =
            ::send(descriptor.get(), request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            throw LineExchangeError(Kind::noAnswer, "no answer on " + path);
        }
        sent += static_cast<std::size_t>(count);
    }
    std::string answer;
    char buffer[4096];
    while (answer.find('\n') == std::string::npos) {
        if (answer.size() > maximumAnswerBytes) {
            throw LineExchangeError(Kind::noAnswer, "the answer on " + path + " is too long");
        }
        const ssize_t count = ::recv(descriptor.get(), buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            throw LineExchangeError(Kind::noAnswer, "no answer on " + path);
        }
        answer.append(buffer, static_cast<std::size_t>(count));
    }
    answer.resize(answer.find('\n'));
    return answer;
}

}  // namespace platform::foundation
