#include "Platform/IOKit/HIDEventSystem.h"

namespace platform::iokit {

HIDEventSystemClient hidEventSystemClientCreate() {
    const auto backend = currentHIDBackend();
    return backend ? backend->createEventSystemClient() : 0;
}

void hidEventSystemClientSetMatching(HIDEventSystemClient client, const HIDMatching& matching) {
    if (const auto backend = currentHIDBackend(); backend && client != 0) {
        backend->setMatching(client, matching);
    }
}

HIDServiceList hidEventSystemClientCopyServices(HIDEventSystemClient client) {
    const auto backend = currentHIDBackend();
    return backend && client != 0 ? backend->copyServices(client) : 0;
}

std::size_t hidServiceListCount(HIDServiceList services) {
    const auto backend = currentHIDBackend();
    return backend && services != 0 ? backend->serviceCount(services) : 0;
}

HIDServiceClient hidServiceListAt(HIDServiceList services, std::size_t index) {
    const auto backend = currentHIDBackend();
    return backend && services != 0 ? backend->serviceAt(services, index) : 0;
}

HIDProperty hidServiceClientCopyProperty(HIDServiceClient service, std::string_view key) {
    const auto backend = currentHIDBackend();
    return backend && service != 0 ? backend->copyProperty(service, key) : 0;
}

HIDPropertyValue hidPropertyGetValue(HIDProperty property) {
    const auto backend = currentHIDBackend();
    return backend && property != 0 ? backend->propertyValue(property) : HIDPropertyValue{};
}

HIDEvent hidServiceClientCopyEvent(HIDServiceClient service, std::int64_t type,
                                   std::uint32_t options) {
    const auto backend = currentHIDBackend();
    return backend && service != 0 ? backend->copyEvent(service, type, options) : 0;
}

double hidEventGetFloatValue(HIDEvent event, std::uint32_t field) {
    const auto backend = currentHIDBackend();
    return backend && event != 0 ? backend->eventFloatValue(event, field) : 0.0;
}

void hidRelease(HIDObject object) {
    if (const auto backend = currentHIDBackend(); backend && object != 0) {
        backend->release(object);
    }
}

}  // namespace platform::iokit
