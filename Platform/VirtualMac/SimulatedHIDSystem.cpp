#include "Platform/VirtualMac/SimulatedHIDSystem.h"

#include <stdexcept>

#include "Platform/IOKit/HIDEventSystem.h"

namespace virtualmac {

using platform::iokit::HIDMatching;
using platform::iokit::HIDObject;
using platform::iokit::HIDPropertyValue;

SimulatedHIDService SimulatedHIDSystem::temperatureSensor(std::string product,
                                                          std::optional<double> celsius) {
    SimulatedHIDService service;
    service.product = std::move(product);
    service.temperature = celsius;
    return service;
}

std::size_t SimulatedHIDSystem::addService(SimulatedHIDService service) {
    Lock lock(mutex_);
    services_.push_back(std::move(service));
    return services_.size() - 1;
}

void SimulatedHIDSystem::setTemperature(std::size_t service, std::optional<double> celsius) {
    Lock lock(mutex_);
    if (service >= services_.size()) {
        throw std::out_of_range("no such simulated HID service");
    }
    services_[service].temperature = celsius;
}

std::vector<SimulatedHIDService> SimulatedHIDSystem::services() const {
    Lock lock(mutex_);
    return services_;
}

void SimulatedHIDSystem::failClientCreation(bool fail) {
    Lock lock(mutex_);
    failClientCreation_ = fail;
}

void SimulatedHIDSystem::failServiceCopies(bool fail) {
    Lock lock(mutex_);
    failServiceCopies_ = fail;
}

std::size_t SimulatedHIDSystem::liveObjectCount() const {
    Lock lock(mutex_);
    return objects_.size();
}

std::size_t SimulatedHIDSystem::invalidReleaseCount() const {
    Lock lock(mutex_);
    return invalidReleases_;
}

HIDObject SimulatedHIDSystem::addLocked(Object object) {
    const HIDObject handle = nextObject_;
    nextObject_ += 2;
    objects_.emplace(handle, std::move(object));
    return handle;
}

template <class T>
T* SimulatedHIDSystem::objectLocked(HIDObject handle) {
    const auto found = objects_.find(handle);
    return found == objects_.end() ? nullptr : std::get_if<T>(&found->second);
}

const SimulatedHIDService* SimulatedHIDSystem::serviceLocked(HIDObject handle) const {
    if (handle == 0 || handle % 2 != 0 || handle / 2 > services_.size()) {
        return nullptr;
    }
    return &services_[handle / 2 - 1];
}

std::optional<HIDPropertyValue> SimulatedHIDSystem::propertyLocked(
    const SimulatedHIDService& service, std::string_view key) const {
    if (key == "PrimaryUsagePage") {
        return HIDPropertyValue{
            HIDPropertyValue::Type::number, {}, static_cast<double>(service.primaryUsagePage)};
    }
    if (key == "PrimaryUsage") {
        return HIDPropertyValue{
            HIDPropertyValue::Type::number, {}, static_cast<double>(service.primaryUsage)};
    }
    if (key == "Product") {
        if (const auto* text = std::get_if<std::string>(&service.product)) {
            return HIDPropertyValue{HIDPropertyValue::Type::text, *text, 0};
        }
        if (const auto* number = std::get_if<double>(&service.product)) {
            return HIDPropertyValue{HIDPropertyValue::Type::number, {}, *number};
        }
    }
    return std::nullopt;
}

bool SimulatedHIDSystem::matchesLocked(const SimulatedHIDService& service,
                                       const HIDMatching& matching) const {
    for (const auto& [key, wanted] : matching) {
        const auto value = propertyLocked(service, key);
        if (!value || value->type != HIDPropertyValue::Type::number ||
            value->number != static_cast<double>(wanted)) {
            return false;
        }
    }
    return true;
}

HIDObject SimulatedHIDSystem::createEventSystemClient() {
    Lock lock(mutex_);
    return failClientCreation_ ? 0 : addLocked(Client{});
}

void SimulatedHIDSystem::setMatching(HIDObject client, const HIDMatching& matching) {
    Lock lock(mutex_);
    if (auto* object = objectLocked<Client>(client)) {
        object->matching = matching;
    }
}

HIDObject SimulatedHIDSystem::copyServices(HIDObject client) {
    Lock lock(mutex_);
    const auto* object = objectLocked<Client>(client);
    if (object == nullptr || failServiceCopies_) {
        return 0;
    }
    // A client without matching sees every service.
    ServiceList list;
    for (std::size_t index = 0; index < services_.size(); ++index) {
        if (!object->matching || matchesLocked(services_[index], *object->matching)) {
            list.services.push_back(serviceHandle(index));
        }
    }
    return addLocked(std::move(list));
}

std::size_t SimulatedHIDSystem::serviceCount(HIDObject services) {
    Lock lock(mutex_);
    const auto* list = objectLocked<ServiceList>(services);
    return list == nullptr ? 0 : list->services.size();
}

HIDObject SimulatedHIDSystem::serviceAt(HIDObject services, std::size_t index) {
    Lock lock(mutex_);
    const auto* list = objectLocked<ServiceList>(services);
    return list == nullptr || index >= list->services.size() ? 0 : list->services[index];
}

HIDObject SimulatedHIDSystem::copyProperty(HIDObject service, std::string_view key) {
    Lock lock(mutex_);
    const auto* target = serviceLocked(service);
    if (target == nullptr) {
        return 0;
    }
    const auto value = propertyLocked(*target, key);
    return value ? addLocked(Property{*value}) : 0;
}

HIDPropertyValue SimulatedHIDSystem::propertyValue(HIDObject property) {
    Lock lock(mutex_);
    const auto* object = objectLocked<Property>(property);
    return object == nullptr ? HIDPropertyValue{} : object->value;
}

HIDObject SimulatedHIDSystem::copyEvent(HIDObject service, std::int64_t type,
                                        std::uint32_t /*options*/) {
    Lock lock(mutex_);
    const auto* target = serviceLocked(service);
    if (target == nullptr || type != platform::iokit::hidEventTypeTemperature ||
        !target->temperature) {
        return 0;
    }
    return addLocked(Event{type, *target->temperature});
}

double SimulatedHIDSystem::eventFloatValue(HIDObject event, std::uint32_t field) {
    Lock lock(mutex_);
    const auto* object = objectLocked<Event>(event);
    // Fields an event does not have read as 0, as the real call answers.
    if (object == nullptr || field != platform::iokit::hidEventFieldBase(object->type)) {
        return 0;
    }
    return object->level;
}

void SimulatedHIDSystem::release(HIDObject object) {
    Lock lock(mutex_);
    if (objects_.erase(object) == 0) {
        ++invalidReleases_;
    }
}

}  // namespace virtualmac
