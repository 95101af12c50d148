#include "Platform/IOKit/InProcessBackend.h"

namespace platform::iokit {

std::size_t InProcessBackend::serviceCount(std::string_view className) {
    return device_->serviceClass() == className ? 1 : 0;
}

KernReturn InProcessBackend::openClient(std::string_view className, std::size_t serviceIndex,
                                        std::uint32_t connectionType, ClientID& client) {
    if (serviceIndex != 0 || device_->serviceClass() != className) {
        return ioReturnNoDevice;
    }
    return device_->openClient(connectionType, client);
}

KernReturn InProcessBackend::callStructMethod(ClientID client, std::uint32_t selector,
                                              std::span<const std::uint8_t> input,
                                              std::span<std::uint8_t> output,
                                              std::size_t& outputSize) {
    return device_->callStructMethod(client, selector, input, output, outputSize);
}

KernReturn InProcessBackend::closeClient(ClientID client) {
    return device_->closeClient(client);
}

ScopedInProcessDevice::ScopedInProcessDevice(std::shared_ptr<UserClientDevice> device)
    : previous_(installIOBackend(std::make_shared<InProcessBackend>(std::move(device)))) {}

ScopedInProcessDevice::~ScopedInProcessDevice() {
    installIOBackend(std::move(previous_));
}

}  // namespace platform::iokit
