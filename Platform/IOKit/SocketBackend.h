#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "Platform/IOKit/HIDBackend.h"
#include "Platform/IOKit/IOBackend.h"
#include "Platform/IOKit/IOSocketProtocol.h"

namespace platform::iokit {

// Talks to the simulated machine's process over its IOKit socket: the SMC user clients and
// the HID event system. One persistent connection per process, opened on first use,
// replaced when it breaks, when the socket path changes or in a forked child; calls are
// serialised by one mutex. User clients and HID objects belong to the connection: the
// machine closes and releases them when the connection ends, and handles of an earlier
// connection answer "not open" (HID: as no object).
class SocketBackend final : public IOBackend, public HIDBackend {
  public:
    using PathProvider = std::function<std::filesystem::path()>;

    // `timeoutSeconds` bounds each send and each receive, so that a stuck machine fails a
    // call instead of hanging it.
    explicit SocketBackend(PathProvider socketPath = ioKitSocketPathProvider(),
                           double timeoutSeconds = 5.0);
    ~SocketBackend() override;
    SocketBackend(const SocketBackend&) = delete;
    SocketBackend& operator=(const SocketBackend&) = delete;

    // No reachable machine means no services: the single place where that is decided.
    std::size_t serviceCount(std::string_view className) override;
    KernReturn openClient(std::string_view className, std::size_t serviceIndex,
                          std::uint32_t connectionType, ClientID& client) override;
    KernReturn callStructMethod(ClientID client, std::uint32_t selector,
                                std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                                std::size_t& outputSize) override;
    KernReturn closeClient(ClientID client) override;

    // No reachable machine means no HID client.
    HIDObject createEventSystemClient() override;
    void setMatching(HIDObject client, const HIDMatching& matching) override;
    HIDObject copyServices(HIDObject client) override;
    std::size_t serviceCount(HIDObject services) override;
    HIDObject serviceAt(HIDObject services, std::size_t index) override;
    HIDObject copyProperty(HIDObject service, std::string_view key) override;
    HIDPropertyValue propertyValue(HIDObject property) override;
    HIDObject copyEvent(HIDObject service, std::int64_t type, std::uint32_t options) override;
    double eventFloatValue(HIDObject event, std::uint32_t field) override;
    void release(HIDObject object) override;

    static PathProvider ioKitSocketPathProvider();

  private:
    // Sends one request frame and returns the reply body, or nothing when the transport
    // failed (the connection is then dropped). `retryOnFreshConnection` repeats a request
    // once on a new connection when an old one turned out to be broken; only requests
    // that do not depend on the connection's clients may be repeated.
    std::optional<std::vector<std::uint8_t>> exchangeLocked(const std::vector<std::uint8_t>& frame,
                                                            bool retryOnFreshConnection);
    bool connectLocked(const std::filesystem::path& path);
    void disconnectLocked();
    bool sendAllLocked(const std::vector<std::uint8_t>& frame);
    bool receiveAllLocked(std::uint8_t* buffer, std::size_t size);
    // The generation a handle was issued under; 0 when the handle is of no live connection.
    bool currentGenerationLocked(ClientID client) const;
    // One HID request whose handle argument (if any) was checked; the reply without its
    // KernReturn, or nothing when the transport or the machine failed.
    std::optional<std::vector<std::uint8_t>> hidExchangeLocked(const ioframe::Writer& request,
                                                               bool retryOnFreshConnection);
    // The machine's handle of a HID object of the current connection, or 0.
    std::uint64_t hidServerHandleLocked(HIDObject object) const;
    HIDObject hidHandleLocked(std::uint64_t serverHandle) const;
    HIDObject hidObjectCallLocked(ioframe::Writer& request, bool retryOnFreshConnection = false);
    // Reads a reply body with `parse`, which must consume all of it. A missing reply gives
    // `failure`; so does one that does not parse, after dropping the connection.
    template <class T, class Parse>
    T parseReplyLocked(const std::optional<std::vector<std::uint8_t>>& reply, T failure,
                       Parse parse);

    PathProvider socketPath_;
    double timeoutSeconds_;
    std::mutex mutex_;
    int socket_ = -1;
    pid_t owner_ = 0;
    std::filesystem::path connectedPath_;
    std::uint32_t generation_ = 0;
};

// The process's connection to the simulated machine, shared by the IOKit and HID calls when
// no in-process backend is installed.
std::shared_ptr<SocketBackend> machineSocketBackend();

}  // namespace platform::iokit
