#include "Platform/IOKit/SocketBackend.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "Platform/IOKit/IOSocketProtocol.h"

namespace platform::iokit {

namespace {

using ioframe::Opcode;

// A handle names the connection generation (high half) and the machine's own client number
// (low half), so that a handle outliving its connection is never taken for a newer client.
ClientID makeHandle(std::uint32_t generation, std::uint64_t serverClient) {
    return static_cast<ClientID>(generation) << 32 | (serverClient & 0xffffffffu);
}

std::uint32_t generationOf(ClientID handle) {
    return static_cast<std::uint32_t>(handle >> 32);
}

std::uint64_t serverClientOf(ClientID handle) {
    return handle & 0xffffffffu;
}

timeval toTimeval(double seconds) {
    timeval value{};
    const double whole = std::floor(seconds);
    value.tv_sec = static_cast<time_t>(whole);
    value.tv_usec = static_cast<suseconds_t>((seconds - whole) * 1e6);
    return value;
}

}  // namespace

SocketBackend::PathProvider SocketBackend::ioKitSocketPathProvider() {
    return [] { return ioKitSocketPath(); };
}

SocketBackend::SocketBackend(PathProvider socketPath, double timeoutSeconds)
    : socketPath_(std::move(socketPath)), timeoutSeconds_(timeoutSeconds) {}

SocketBackend::~SocketBackend() {
    std::lock_guard lock(mutex_);
    disconnectLocked();
}

bool SocketBackend::connectLocked(const std::filesystem::path& path) {
    disconnectLocked();
    const std::string text = path.string();
    sockaddr_un address{};
    if (text.size() >= sizeof address.sun_path) {
        return false;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const timeval timeout = toTimeval(timeoutSeconds_);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return false;
    }
    socket_ = fd;
    owner_ = ::getpid();
    connectedPath_ = path;
    ++generation_;
    if (generation_ == 0) {
        generation_ = 1;
    }
    return true;
}

void SocketBackend::disconnectLocked() {
    if (socket_ >= 0) {
        // A forked child closes only its copy; the parent's connection stays intact.
        ::close(socket_);
        socket_ = -1;
    }
}

bool SocketBackend::sendAllLocked(const std::vector<std::uint8_t>& frame) {
    std::size_t sent = 0;
    while (sent < frame.size()) {
        const ssize_t count =
            ::send(socket_, frame.data() + sent, frame.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

bool SocketBackend::receiveAllLocked(std::uint8_t* buffer, std::size_t size) {
    std::size_t received = 0;
    while (received < size) {
        const ssize_t count = ::recv(socket_, buffer + received, size - received, 0);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;  // closed, failed or timed out
        }
        received += static_cast<std::size_t>(count);
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> SocketBackend::exchangeLocked(
    const std::vector<std::uint8_t>& frame, bool retryOnFreshConnection) {
    const auto path = socketPath_();
    const bool reusable = socket_ >= 0 && owner_ == ::getpid() && connectedPath_ == path;
    if (!reusable && !connectLocked(path)) {
        return std::nullopt;
    }
    std::array<std::uint8_t, ioframe::kHeaderSize> header{};
    if (sendAllLocked(frame) && receiveAllLocked(header.data(), header.size())) {
        try {
            std::vector<std::uint8_t> body(ioframe::bodyLength(header));
            if (receiveAllLocked(body.data(), body.size())) {
                return body;
            }
        } catch (const ioframe::MalformedFrame&) {
        }
    }
    disconnectLocked();
    if (reusable && retryOnFreshConnection) {
        // The machine may have restarted since the connection was opened.
        return exchangeLocked(frame, false);
    }
    return std::nullopt;
}

bool SocketBackend::currentGenerationLocked(ClientID client) const {
    return socket_ >= 0 && owner_ == ::getpid() && generationOf(client) == generation_;
}

std::size_t SocketBackend::serviceCount(std::string_view className) {
    ioframe::Writer request;
    try {
        request.u8(static_cast<std::uint8_t>(Opcode::serviceCount)).text(className);
    } catch (const ioframe::MalformedFrame&) {
        return 0;
    }
    std::lock_guard lock(mutex_);
    const auto reply = exchangeLocked(request.frame(), true);
    if (!reply) {
        return 0;
    }
    try {
        ioframe::Reader reader(*reply);
        const KernReturn result = reader.i32();
        const std::uint32_t count = reader.u32();
        reader.finish();
        return result == kernSuccess ? count : 0;
    } catch (const ioframe::MalformedFrame&) {
        disconnectLocked();
        return 0;
    }
}

KernReturn SocketBackend::openClient(std::string_view className, std::size_t serviceIndex,
                                     std::uint32_t connectionType, ClientID& client) {
    if (serviceIndex > 0xffffffffu || className.size() > ioframe::kMaximumNameLength) {
        return ioReturnBadArgument;
    }
    ioframe::Writer request;
    request.u8(static_cast<std::uint8_t>(Opcode::openClient))
        .text(className)
        .u32(static_cast<std::uint32_t>(serviceIndex))
        .u32(connectionType);
    std::lock_guard lock(mutex_);
    const auto reply = exchangeLocked(request.frame(), true);
    if (!reply) {
        return ioReturnNotResponding;
    }
    try {
        ioframe::Reader reader(*reply);
        const KernReturn result = reader.i32();
        const std::uint64_t serverClient = reader.u64();
        reader.finish();
        if (result == kernSuccess) {
            client = makeHandle(generation_, serverClient);
        }
        return result;
    } catch (const ioframe::MalformedFrame&) {
        disconnectLocked();
        return ioReturnNotResponding;
    }
}

KernReturn SocketBackend::callStructMethod(ClientID client, std::uint32_t selector,
                                           std::span<const std::uint8_t> input,
                                           std::span<std::uint8_t> output,
                                           std::size_t& outputSize) {
    if (input.size() > ioframe::kMaximumStructSize) {
        return ioReturnBadArgument;
    }
    const std::size_t capacity = std::min({outputSize, output.size(), ioframe::kMaximumStructSize});
    ioframe::Writer request;
    request.u8(static_cast<std::uint8_t>(Opcode::callStructMethod))
        .u64(serverClientOf(client))
        .u32(selector)
        .u32(static_cast<std::uint32_t>(capacity))
        .bytes(input);
    std::lock_guard lock(mutex_);
    if (!currentGenerationLocked(client)) {
        return ioReturnNotOpen;
    }
    const auto reply = exchangeLocked(request.frame(), false);
    if (!reply) {
        return ioReturnNotResponding;
    }
    try {
        ioframe::Reader reader(*reply);
        const KernReturn result = reader.i32();
        const auto bytes = reader.bytes(capacity);
        reader.finish();
        std::copy(bytes.begin(), bytes.end(), output.begin());
        outputSize = bytes.size();
        return result;
    } catch (const ioframe::MalformedFrame&) {
        disconnectLocked();
        return ioReturnNotResponding;
    }
}

KernReturn SocketBackend::closeClient(ClientID client) {
    ioframe::Writer request;
    request.u8(static_cast<std::uint8_t>(Opcode::closeClient)).u64(serverClientOf(client));
    std::lock_guard lock(mutex_);
    if (!currentGenerationLocked(client)) {
        // Its connection is gone, and the machine closed it with the connection.
        return ioReturnNotOpen;
    }
    const auto reply = exchangeLocked(request.frame(), false);
    if (!reply) {
        return ioReturnNotResponding;
    }
    try {
        ioframe::Reader reader(*reply);
        const KernReturn result = reader.i32();
        reader.finish();
        return result;
    } catch (const ioframe::MalformedFrame&) {
        disconnectLocked();
        return ioReturnNotResponding;
    }
}

}  // namespace platform::iokit
