#pragma once

#include <memory>

#include "Platform/IOKit/IOBackend.h"

namespace platform::iokit {

// Serves one device living in this process.
class InProcessBackend final : public IOBackend {
  public:
    explicit InProcessBackend(std::shared_ptr<UserClientDevice> device)
        : device_(std::move(device)) {}

    std::size_t serviceCount(std::string_view className) override;
    KernReturn openClient(std::string_view className, std::size_t serviceIndex,
                          std::uint32_t connectionType, ClientID& client) override;
    KernReturn callStructMethod(ClientID client, std::uint32_t selector,
                                std::span<const std::uint8_t> input, std::span<std::uint8_t> output,
                                std::size_t& outputSize) override;
    KernReturn closeClient(ClientID client) override;

  private:
    std::shared_ptr<UserClientDevice> device_;
};

// Installs an in-process device for the guard's lifetime and restores the previous backend.
class ScopedInProcessDevice {
  public:
    explicit ScopedInProcessDevice(std::shared_ptr<UserClientDevice> device);
    ~ScopedInProcessDevice();
    ScopedInProcessDevice(const ScopedInProcessDevice&) = delete;
    ScopedInProcessDevice& operator=(const ScopedInProcessDevice&) = delete;

  private:
    std::shared_ptr<IOBackend> previous_;
};

}  // namespace platform::iokit
