#include "VentrellaSensors/AppleSiliconTemperatureSensors.h"

#include <cmath>

#include "Platform/IOKit/HIDEventSystem.h"

namespace ventrella::sensors {

namespace iokit = platform::iokit;

namespace {

// Apple's vendor usage page and the usage of its temperature sensors.
constexpr std::int64_t temperatureUsagePage = 0xff00;
constexpr std::int64_t temperatureUsage = 5;

// Releases one copied object when the scope ends, whichever way it ends.
class Released {
  public:
    explicit Released(iokit::HIDObject object) : object_(object) {}
    ~Released() { iokit::hidRelease(object_); }
    Released(const Released&) = delete;
    Released& operator=(const Released&) = delete;
    iokit::HIDObject get() const { return object_; }

  private:
    iokit::HIDObject object_;
};

}  // namespace

std::map<std::string, double> VLAppleSiliconTemperatureSensors() {
    std::map<std::string, double> temperatures;
    const Released client(iokit::hidEventSystemClientCreate());
    if (client.get() == 0) {
        return temperatures;
    }
    iokit::hidEventSystemClientSetMatching(
        client.get(),
        {{"PrimaryUsagePage", temperatureUsagePage}, {"PrimaryUsage", temperatureUsage}});
    const Released services(iokit::hidEventSystemClientCopyServices(client.get()));
    if (services.get() == 0) {
        return temperatures;
    }
    const std::size_t count = iokit::hidServiceListCount(services.get());
    for (std::size_t index = 0; index < count; ++index) {
        const auto service = iokit::hidServiceListAt(services.get(), index);
        const Released product(iokit::hidServiceClientCopyProperty(service, "Product"));
        const Released event(
            iokit::hidServiceClientCopyEvent(service, iokit::hidEventTypeTemperature, 0));
        if (product.get() == 0 || event.get() == 0) {
            continue;
        }
        const auto name = iokit::hidPropertyGetValue(product.get());
        if (name.type != iokit::HIDPropertyValue::Type::text) {
            continue;
        }
        const double celsius = iokit::hidEventGetFloatValue(
            event.get(), iokit::hidEventFieldBase(iokit::hidEventTypeTemperature));
        if (std::isfinite(celsius)) {
            temperatures[name.text] = celsius;
        }
    }
    return temperatures;
}

}  // namespace ventrella::sensors
