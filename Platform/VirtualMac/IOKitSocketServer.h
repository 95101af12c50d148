#pragma once

#include <asio.hpp>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <vector>

#include "Platform/IOKit/HIDBackend.h"
#include "Platform/IOKit/UserClientDevice.h"
#include "Platform/VirtualMac/ConnectionShares.h"
#include "Platform/VirtualMac/UnixSocketAcceptor.h"

namespace virtualmac {

// Serves devices and a HID system to the IOKit layers of other processes over a Unix socket
// (the frames of IOSocketProtocol.h). Each connection is a session with its own client
// numbers and HID objects; a session reaches only what it opened, and when it ends every
// user client it opened is closed and every HID object it holds released. The devices learn
// whether the peer that opens a client is root (its credentials as the kernel took them when it
// connected), so that they can keep some calls to root. Runs on the io_context's thread; the
// devices and the HID system guard their own state.
class IOKitSocketServer {
  public:
    // Most user clients one session may hold open at once.
    static constexpr std::size_t kMaximumClientsPerSession = 256;

    // Most HID objects one session may hold at once.
    static constexpr std::size_t kMaximumHIDObjectsPerSession = 4096;

    // Most sessions a user other than root may hold open at once.
    static constexpr std::size_t kSessionsPerUser = 32;

    // Binds `socketPath` (replacing a stale file) and starts accepting. `hid` may be null:
    // the machine then has no HID system and no client can be created. `log` learns when
    // connections cannot be accepted for a while.
    IOKitSocketServer(asio::io_context& context, const std::filesystem::path& socketPath,
                      std::vector<std::shared_ptr<platform::iokit::UserClientDevice>> devices,
                      std::shared_ptr<platform::iokit::HIDBackend> hid = nullptr,
                      UnixSocketAcceptor::Log log = nullptr);
    ~IOKitSocketServer();
    IOKitSocketServer(const IOKitSocketServer&) = delete;
    IOKitSocketServer& operator=(const IOKitSocketServer&) = delete;

    // Stops accepting and ends every session (their clients are closed).
    void close();

  private:
    class Session;
    void serve(asio::local::stream_protocol::socket socket);

    std::shared_ptr<std::vector<std::shared_ptr<platform::iokit::UserClientDevice>>> devices_;
    std::shared_ptr<platform::iokit::HIDBackend> hid_;
    std::vector<std::weak_ptr<Session>> sessions_;
    ConnectionShares shares_{kSessionsPerUser};
    // Last: it hands connections to what is above.
    UnixSocketAcceptor acceptor_;
};

}  // namespace virtualmac
