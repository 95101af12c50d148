#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Platform/IOKit/HIDBackend.h"

namespace virtualmac {

// One HID service of the simulated machine.
struct SimulatedHIDService {
    std::int64_t primaryUsagePage = 0xff00;
    std::int64_t primaryUsage = 5;
    // "Product": a text, a number, or absent.
    std::variant<std::monostate, std::string, double> product;
    // The level of the current temperature event (NaN and infinity allowed); none: no event.
    std::optional<double> temperature;
};

// The simulated HID event system: services matched by their primary usage page and usage,
// their "Product" property and temperature events. It keeps every object it hands out until
// released and counts them, so tests can check that a caller released all it copied.
class SimulatedHIDSystem final : public platform::iokit::HIDBackend {
  public:
    // The usage page and usage of Apple silicon temperature sensors.
    static constexpr std::int64_t temperatureUsagePage = 0xff00;
    static constexpr std::int64_t temperatureUsage = 5;

    // A temperature sensor service named `product` reading `celsius`.
    static SimulatedHIDService temperatureSensor(std::string product,
                                                 std::optional<double> celsius);

    // Returns the service's index.
    std::size_t addService(SimulatedHIDService service);
    void setTemperature(std::size_t service, std::optional<double> celsius);
    std::vector<SimulatedHIDService> services() const;

    // Faults: no client can be created; clients have no service list to give.
    void failClientCreation(bool fail);
    void failServiceCopies(bool fail);

    // Objects handed out and not yet released.
    std::size_t liveObjectCount() const;
    // Releases of handles that were not live (twice released, borrowed services, unknown).
    std::size_t invalidReleaseCount() const;

    // HIDBackend
    platform::iokit::HIDObject createEventSystemClient() override;
    void setMatching(platform::iokit::HIDObject client,
                     const platform::iokit::HIDMatching& matching) override;
    platform::iokit::HIDObject copyServices(platform::iokit::HIDObject client) override;
    std::size_t serviceCount(platform::iokit::HIDObject services) override;
    platform::iokit::HIDObject serviceAt(platform::iokit::HIDObject services,
                                         std::size_t index) override;
    platform::iokit::HIDObject copyProperty(platform::iokit::HIDObject service,
                                            std::string_view key) override;
    platform::iokit::HIDPropertyValue propertyValue(platform::iokit::HIDObject property) override;
    platform::iokit::HIDObject copyEvent(platform::iokit::HIDObject service, std::int64_t type,
                                         std::uint32_t options) override;
    double eventFloatValue(platform::iokit::HIDObject event, std::uint32_t field) override;
    void release(platform::iokit::HIDObject object) override;

  private:
    using Lock = std::lock_guard<std::mutex>;

    struct Client {
        std::optional<platform::iokit::HIDMatching> matching;
    };
    struct ServiceList {
        std::vector<platform::iokit::HIDObject> services;
    };
    struct Property {
        platform::iokit::HIDPropertyValue value;
    };
    struct Event {
        std::int64_t type = 0;
        double level = 0;
    };
    using Object = std::variant<Client, ServiceList, Property, Event>;

    // Services have fixed handles; an even handle is a service, an odd one an object.
    static platform::iokit::HIDObject serviceHandle(std::size_t index) { return 2 * (index + 1); }
    const SimulatedHIDService* serviceLocked(platform::iokit::HIDObject handle) const;
    std::optional<platform::iokit::HIDPropertyValue> propertyLocked(
        const SimulatedHIDService& service, std::string_view key) const;
    bool matchesLocked(const SimulatedHIDService& service,
                       const platform::iokit::HIDMatching& matching) const;
    platform::iokit::HIDObject addLocked(Object object);
    template <class T>
    T* objectLocked(platform::iokit::HIDObject handle);

    mutable std::mutex mutex_;
    std::vector<SimulatedHIDService> services_;
    std::map<platform::iokit::HIDObject, Object> objects_;
    platform::iokit::HIDObject nextObject_ = 1;
    bool failClientCreation_ = false;
    bool failServiceCopies_ = false;
    std::size_t invalidReleases_ = 0;
};

}  // namespace virtualmac
