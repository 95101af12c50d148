#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "Platform/IOKit/IOBackend.h"

namespace platform::iokit {

// Talks to the simulated machine's process over its IOKit socket. One persistent connection
// per process, opened on first use, replaced when it breaks, when the socket path changes or
// in a forked child; calls are serialised by one mutex. User clients belong to the
// connection: the machine closes them when the connection ends, and handles of an earlier
// connection answer "not open".
class SocketBackend final : public IOBackend {
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

    PathProvider socketPath_;
    double timeoutSeconds_;
    std::mutex mutex_;
    int socket_ = -1;
    pid_t owner_ = 0;
    std::filesystem::path connectedPath_;
    std::uint32_t generation_ = 0;
};

}  // namespace platform::iokit
