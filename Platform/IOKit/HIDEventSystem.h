#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "Platform/IOKit/HIDBackend.h"

namespace platform::iokit {

// The HID event-system client calls. Objects returned by a create or copy call belong to the
// caller, who releases each with hidRelease; a service taken from a list is borrowed.
using HIDEventSystemClient = HIDObject;
using HIDServiceList = HIDObject;
using HIDServiceClient = HIDObject;
using HIDProperty = HIDObject;
using HIDEvent = HIDObject;

constexpr std::int64_t hidEventTypeTemperature = 15;

// The first field of an event type: the type in the upper 16 bits (0xF0000 is the
// temperature level).
constexpr std::uint32_t hidEventFieldBase(std::int64_t type) {
    return static_cast<std::uint32_t>(type) << 16;
}

// 0 when no HID system is reachable.
HIDEventSystemClient hidEventSystemClientCreate();
void hidEventSystemClientSetMatching(HIDEventSystemClient client, const HIDMatching& matching);
// 0 when the client has no service list to give.
HIDServiceList hidEventSystemClientCopyServices(HIDEventSystemClient client);
std::size_t hidServiceListCount(HIDServiceList services);
HIDServiceClient hidServiceListAt(HIDServiceList services, std::size_t index);

// 0 when the service has no such property.
HIDProperty hidServiceClientCopyProperty(HIDServiceClient service, std::string_view key);
HIDPropertyValue hidPropertyGetValue(HIDProperty property);
// 0 when the service has no current event of that type.
HIDEvent hidServiceClientCopyEvent(HIDServiceClient service, std::int64_t type,
                                   std::uint32_t options);
double hidEventGetFloatValue(HIDEvent event, std::uint32_t field);

// Releases an object the caller owns; 0 is ignored.
void hidRelease(HIDObject object);

}  // namespace platform::iokit
