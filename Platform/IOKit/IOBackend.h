#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "Platform/IOKit/UserClientDevice.h"

namespace platform::iokit {

// What the IOKit calls talk to: the services of one machine. Implementations: the in-process
// device (unit tests) and the simulated machine's socket.
class IOBackend {
  public:
    virtual ~IOBackend() = default;

    virtual std::size_t serviceCount(std::string_view className) = 0;
    virtual KernReturn openClient(std::string_view className, std::size_t serviceIndex,
                                  std::uint32_t connectionType, ClientID& client) = 0;
    virtual KernReturn callStructMethod(ClientID client, std::uint32_t selector,
                                        std::span<const std::uint8_t> input,
                                        std::span<std::uint8_t> output,
                                        std::size_t& outputSize) = 0;
    virtual KernReturn closeClient(ClientID client) = 0;
};

// The machine the IOKit calls of this process reach. Like the kernel it stands for, it is
// process-wide: one mutex-guarded slot. With nothing installed the calls go to the simulated
// machine's socket under the platform root (see SocketBackend); never null.
std::shared_ptr<IOBackend> currentIOBackend();
// Installs `backend` (nullptr: none) and returns the previously installed one (possibly null).
std::shared_ptr<IOBackend> installIOBackend(std::shared_ptr<IOBackend> backend);

}  // namespace platform::iokit
