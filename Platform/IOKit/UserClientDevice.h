#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "Platform/IOKit/IOReturn.h"

namespace platform::iokit {

using ClientID = std::uint64_t;

// A device that serves user clients of one service class. Its call handling is a plain
// "bytes in -> bytes out + return code" function, so the same device can sit in-process or
// behind a socket server.
class UserClientDevice {
  public:
    virtual ~UserClientDevice() = default;

    virtual std::string_view serviceClass() const = 0;
    virtual KernReturn openClient(std::uint32_t connectionType, ClientID& client) = 0;
    // As above, for a caller the kernel knows to be privileged (root) or not, as a user client
    // learns from the task that opens it. A device that refuses some calls to unprivileged
    // callers overrides this; the others treat every caller alike.
    virtual KernReturn openClient(std::uint32_t connectionType, ClientID& client,
                                  bool /*privileged*/) {
        return openClient(connectionType, client);
    }
    // `outputSize` holds the capacity on entry and the bytes written on return.
    virtual KernReturn callStructMethod(ClientID client, std::uint32_t selector,
                                        std::span<const std::uint8_t> input,
                                        std::span<std::uint8_t> output,
                                        std::size_t& outputSize) = 0;
    virtual KernReturn closeClient(ClientID client) = 0;
};

}  // namespace platform::iokit
