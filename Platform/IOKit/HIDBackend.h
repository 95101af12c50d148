#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace platform::iokit {

// Handles of HID event-system objects (clients, service lists, services, property values,
// events); 0 is no object.
using HIDObject = std::uint64_t;

// The matching of an event-system client: property name to the number it must have, such as
// {"PrimaryUsagePage": 0xff00, "PrimaryUsage": 5}. A service matches when it has every entry.
using HIDMatching = std::map<std::string, std::int64_t>;

// A copied property's value: text, a number, or something else (an array, data...).
struct HIDPropertyValue {
    enum class Type { text, number, other };

    Type type = Type::other;
    std::string text;
    double number = 0;

    bool operator==(const HIDPropertyValue&) const = default;
};

// What the HID event-system calls talk to. Every create/copy hands the caller one object it
// must release; services obtained from a list are borrowed from it and live as long as the
// list. Implementations: the in-process simulated HID system and, later, the simulated
// machine's socket. Unknown or wrongly typed handles give 0, empty or default answers.
class HIDBackend {
  public:
    virtual ~HIDBackend() = default;

    virtual HIDObject createEventSystemClient() = 0;
    virtual void setMatching(HIDObject client, const HIDMatching& matching) = 0;
    // A list of the matching services, or 0 when none can be given.
    virtual HIDObject copyServices(HIDObject client) = 0;
    virtual std::size_t serviceCount(HIDObject services) = 0;
    virtual HIDObject serviceAt(HIDObject services, std::size_t index) = 0;
    virtual HIDObject copyProperty(HIDObject service, std::string_view key) = 0;
    virtual HIDPropertyValue propertyValue(HIDObject property) = 0;
    virtual HIDObject copyEvent(HIDObject service, std::int64_t type, std::uint32_t options) = 0;
    virtual double eventFloatValue(HIDObject event, std::uint32_t field) = 0;
    virtual void release(HIDObject object) = 0;
};

// The HID system the calls of this process reach; process-wide, like the IOKit backend, and
// kept in its own slot. Nothing installed means no client can be created.
std::shared_ptr<HIDBackend> currentHIDBackend();
// Installs `backend` (nullptr: none) and returns the previous one.
std::shared_ptr<HIDBackend> installHIDBackend(std::shared_ptr<HIDBackend> backend);

// Installs a HID backend for the guard's lifetime and restores the previous one.
class ScopedHIDBackend {
  public:
    explicit ScopedHIDBackend(std::shared_ptr<HIDBackend> backend)
        : previous_(installHIDBackend(std::move(backend))) {}
    ~ScopedHIDBackend() { installHIDBackend(std::move(previous_)); }
    ScopedHIDBackend(const ScopedHIDBackend&) = delete;
    ScopedHIDBackend& operator=(const ScopedHIDBackend&) = delete;

  private:
    std::shared_ptr<HIDBackend> previous_;
};

}  // namespace platform::iokit
