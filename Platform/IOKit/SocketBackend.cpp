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

// HID handles: the connection generation in the top 24 bits, the machine's handle below.
constexpr int kHIDGenerationShift = 40;
constexpr std::uint64_t kHIDServerMask = (std::uint64_t{1} << kHIDGenerationShift) - 1;

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

template <class T, class Parse>
T SocketBackend::parseReplyLocked(const std::optional<std::vector<std::uint8_t>>& reply, T failure,
                                  Parse parse) {
    if (!reply) {
        return failure;
    }
    try {
        ioframe::Reader reader(*reply);
        T result = parse(reader);
        reader.finish();
        return result;
    } catch (const ioframe::MalformedFrame&) {
        disconnectLocked();
        return failure;
    }
}

std::size_t SocketBackend::serviceCount(std::string_view className) {
    // (HID's serviceCount is the overload taking a handle.)
    ioframe::Writer request;
    try {
        request.u8(static_cast<std::uint8_t>(Opcode::serviceCount)).text(className);
    } catch (const ioframe::MalformedFrame&) {
        return 0;
    }
    std::lock_guard lock(mutex_);
    return parseReplyLocked(exchangeLocked(request.frame(), true), std::size_t{0},
                            [](ioframe::Reader& reader) -> std::size_t {
                                const KernReturn result = reader.i32();
                                const std::uint32_t count = reader.u32();
                                return result == kernSuccess ? count : 0;
                            });
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
    const auto [result, serverClient] =
        parseReplyLocked(exchangeLocked(request.frame(), true),
                         std::pair<KernReturn, std::uint64_t>{ioReturnNotResponding, 0},
                         [](ioframe::Reader& reader) {
                             const KernReturn code = reader.i32();
                             return std::pair<KernReturn, std::uint64_t>{code, reader.u64()};
                         });
    if (result == kernSuccess) {
        client = makeHandle(generation_, serverClient);
    }
    return result;
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
    return parseReplyLocked(exchangeLocked(request.frame(), false), ioReturnNotResponding,
                            [&](ioframe::Reader& reader) {
                                const KernReturn result = reader.i32();
                                const auto bytes = reader.bytes(capacity);
                                reader.finish();  // before anything reaches the caller's buffer
                                std::copy(bytes.begin(), bytes.end(), output.begin());
                                outputSize = bytes.size();
                                return result;
                            });
}

KernReturn SocketBackend::closeClient(ClientID client) {
    ioframe::Writer request;
    request.u8(static_cast<std::uint8_t>(Opcode::closeClient)).u64(serverClientOf(client));
    std::lock_guard lock(mutex_);
    if (!currentGenerationLocked(client)) {
        // Its connection is gone, and the machine closed it with the connection.
        return ioReturnNotOpen;
    }
    return parseReplyLocked(exchangeLocked(request.frame(), false), ioReturnNotResponding,
                            [](ioframe::Reader& reader) { return reader.i32(); });
}

}  // namespace platform::iokit

namespace platform::iokit {

std::shared_ptr<SocketBackend> machineSocketBackend() {
    static const auto backend = std::make_shared<SocketBackend>();
    return backend;
}

std::uint64_t SocketBackend::hidServerHandleLocked(HIDObject object) const {
    const bool current = socket_ >= 0 && owner_ == ::getpid() &&
                         (object >> kHIDGenerationShift) == (generation_ & 0xffffffu);
    return current ? object & kHIDServerMask : 0;
}

HIDObject SocketBackend::hidHandleLocked(std::uint64_t serverHandle) const {
    if (serverHandle == 0 || serverHandle > kHIDServerMask) {
        return 0;
    }
    return static_cast<HIDObject>(generation_ & 0xffffffu) << kHIDGenerationShift | serverHandle;
}

std::optional<std::vector<std::uint8_t>> SocketBackend::hidExchangeLocked(
    const ioframe::Writer& request, bool retryOnFreshConnection) {
    auto reply = exchangeLocked(request.frame(), retryOnFreshConnection);
    if (!reply || reply->size() < 4) {
        return std::nullopt;
    }
    ioframe::Reader reader(*reply);
    if (reader.i32() != kernSuccess) {
        return std::nullopt;
    }
    return std::vector<std::uint8_t>(reply->begin() + 4, reply->end());
}

HIDObject SocketBackend::hidObjectCallLocked(ioframe::Writer& request,
                                             bool retryOnFreshConnection) {
    return parseReplyLocked(
        hidExchangeLocked(request, retryOnFreshConnection), HIDObject{0},
        [this](ioframe::Reader& reader) { return hidHandleLocked(reader.u64()); });
}

HIDObject SocketBackend::createEventSystemClient() {
    ioframe::Writer request;
    request.u8(static_cast<std::uint8_t>(Opcode::hidCreateClient));
    std::lock_guard lock(mutex_);
    return hidObjectCallLocked(request, true);
}

void SocketBackend::setMatching(HIDObject client, const HIDMatching& matching) {
    if (matching.size() > ioframe::kMaximumMatchingEntries) {
        return;
    }
    ioframe::Writer request;
    std::lock_guard lock(mutex_);
    const auto server = hidServerHandleLocked(client);
    if (server == 0) {
        return;
    }
    try {
        request.u8(static_cast<std::uint8_t>(Opcode::hidSetMatching))
            .u64(server)
            .u16(static_cast<std::uint16_t>(matching.size()));
        for (const auto& [key, value] : matching) {
            request.text(key).i64(value);
        }
    } catch (const ioframe::MalformedFrame&) {
        return;
    }
    hidExchangeLocked(request, false);
}

HIDObject SocketBackend::copyServices(HIDObject client) {
    ioframe::Writer request;
    std::lock_guard lock(mutex_);
    const auto server = hidServerHandleLocked(client);
    if (server == 0) {
        return 0;
    }
    request.u8(static_cast<std::uint8_t>(Opcode::hidCopyServices)).u64(server);
    return hidObjectCallLocked(request);
}

std::size_t SocketBackend::serviceCount(HIDObject services) {
    ioframe::Writer request;
    std::lock_guard lock(mutex_);
    const auto server = hidServerHandleLocked(services);
    if (server == 0) {
        return 0;
    }
    request.u8(static_cast<std::uint8_t>(Opcode::hidServiceCount)).u64(server);
    return parseReplyLocked(hidExchangeLocked(request, false), std::size_t{0},
                            [](ioframe::Reader& reader) -> std::size_t { return reader.u32(); });
}

HIDObject SocketBackend::serviceAt(HIDObject services, std::size_t index) {
    ioframe::Writer request;
    std::lock_guard lock(mutex_);
    const auto server = hidServerHandleLocked(services);
    if (server == 0 || index > 0xffffffffu) {
        return 0;
    }
    request.u8(static_cast<std::uint8_t>(Opcode::hidServiceAt))
        .u64(server)
        .u32(static_cast<std::uint32_t>(index));
    return hidObjectCallLocked(request);
}

HIDObject SocketBackend::copyProperty(HIDObject service, std::string_view key) {
    if (key.size() > ioframe::kMaximumNameLength) {
        return 0;
    }
    ioframe::Writer request;
    std::lock_guard lock(mutex_);
    const auto server = hidServerHandleLocked(service);
    if (server == 0) {
        return 0;
    }
    request.u8(static_cast<std::uint8_t>(Opcode::hidCopyProperty)).u64(server).text(key);
    return hidObjectCallLocked(request);
}

HIDPropertyValue SocketBackend::propertyValue(HIDObject property) {
    ioframe::Writer request;
    std::lock_guard lock(mutex_);
    const auto server = hidServerHandleLocked(property);
    if (server == 0) {
        return {};
    }
    request.u8(static_cast<std::uint8_t>(Opcode::hidPropertyValue)).u64(server);
    return parseReplyLocked(
        hidExchangeLocked(request, false), HIDPropertyValue{}, [](ioframe::Reader& reader) {
            HIDPropertyValue value;
            const std::uint8_t type = reader.u8();
            value.text = reader.text();
            value.number = reader.f64();
            if (type > static_cast<std::uint8_t>(HIDPropertyValue::Type::other)) {
                throw ioframe::MalformedFrame();
            }
            value.type = static_cast<HIDPropertyValue::Type>(type);
            return value;
        });
}

HIDObject SocketBackend::copyEvent(HIDObject service, std::int64_t type, std::uint32_t options) {
    ioframe::Writer request;
    std::lock_guard lock(mutex_);
    const auto server = hidServerHandleLocked(service);
    if (server == 0) {
        return 0;
    }
    request.u8(static_cast<std::uint8_t>(Opcode::hidCopyEvent)).u64(server).i64(type).u32(options);
    return hidObjectCallLocked(request);
}

double SocketBackend::eventFloatValue(HIDObject event, std::uint32_t field) {
    ioframe::Writer request;
    std::lock_guard lock(mutex_);
    const auto server = hidServerHandleLocked(event);
    if (server == 0) {
        return 0;
    }
    request.u8(static_cast<std::uint8_t>(Opcode::hidEventFloat)).u64(server).u32(field);
    return parseReplyLocked(hidExchangeLocked(request, false), 0.0,
                            [](ioframe::Reader& reader) { return reader.f64(); });
}

void SocketBackend::release(HIDObject object) {
    ioframe::Writer request;
    std::lock_guard lock(mutex_);
    const auto server = hidServerHandleLocked(object);
    if (server == 0) {
        return;  // of an earlier connection: the machine released it with that connection
    }
    request.u8(static_cast<std::uint8_t>(Opcode::hidRelease)).u64(server);
    hidExchangeLocked(request, false);
}

}  // namespace platform::iokit
