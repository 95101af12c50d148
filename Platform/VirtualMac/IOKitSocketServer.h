#pragma once

#include <asio.hpp>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <vector>

#include "Platform/IOKit/UserClientDevice.h"

namespace virtualmac {

// Serves devices to the IOKit layers of other processes over a Unix socket (the frames of
// IOSocketProtocol.h). Each connection is a session with its own client numbers; when it
// ends, every user client it opened is closed. Runs on the io_context's thread; the devices
// guard their own state.
class IOKitSocketServer {
  public:
    // Most user clients one session may hold open at once.
    static constexpr std::size_t kMaximumClientsPerSession = 256;

    // Binds `socketPath` (replacing a stale file) and starts accepting.
    IOKitSocketServer(asio::io_context& context, const std::filesystem::path& socketPath,
                      std::vector<std::shared_ptr<platform::iokit::UserClientDevice>> devices);
    ~IOKitSocketServer();
    IOKitSocketServer(const IOKitSocketServer&) = delete;
    IOKitSocketServer& operator=(const IOKitSocketServer&) = delete;

    // Stops accepting and ends every session (their clients are closed).
    void close();

  private:
    class Session;
    void accept();

    asio::local::stream_protocol::acceptor acceptor_;
    std::filesystem::path socketPath_;
    std::shared_ptr<std::vector<std::shared_ptr<platform::iokit::UserClientDevice>>> devices_;
    std::vector<std::weak_ptr<Session>> sessions_;
};

}  // namespace virtualmac
