#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "Platform/IOKit/HIDEventSystem.h"
#include "Platform/VirtualMac/SimulatedHIDSystem.h"

namespace virtualmac {
namespace {

namespace iokit = platform::iokit;
using iokit::HIDPropertyValue;

const iokit::HIDMatching temperatureMatching = {
    {"PrimaryUsagePage", SimulatedHIDSystem::temperatureUsagePage},
    {"PrimaryUsage", SimulatedHIDSystem::temperatureUsage}};

class SimulatedHIDSystemTests : public ::testing::Test {
  protected:
    std::shared_ptr<SimulatedHIDSystem> hid = std::make_shared<SimulatedHIDSystem>();
    iokit::ScopedHIDBackend installed{hid};

    // Product names (or "?" for a non-text one) of the services the matching finds.
    std::vector<std::string> matched(const std::optional<iokit::HIDMatching>& matching) {
        const auto client = iokit::hidEventSystemClientCreate();
        if (matching) {
            iokit::hidEventSystemClientSetMatching(client, *matching);
        }
        const auto services = iokit::hidEventSystemClientCopyServices(client);
        std::vector<std::string> names;
        for (std::size_t index = 0; index < iokit::hidServiceListCount(services); ++index) {
            const auto property = iokit::hidServiceClientCopyProperty(
                iokit::hidServiceListAt(services, index), "Product");
            const auto value = iokit::hidPropertyGetValue(property);
            names.push_back(value.type == HIDPropertyValue::Type::text ? value.text : "?");
            iokit::hidRelease(property);
        }
        iokit::hidRelease(services);
        iokit::hidRelease(client);
        return names;
    }
};

TEST_F(SimulatedHIDSystemTests, MatchesByPrimaryUsagePageAndUsage) {
    hid->addService(SimulatedHIDSystem::temperatureSensor("pACC MTR Temp Sensor0", 45));
    auto otherUsage = SimulatedHIDSystem::temperatureSensor("Keyboard", 0);
    otherUsage.primaryUsage = 6;
    hid->addService(otherUsage);
    auto otherPage = SimulatedHIDSystem::temperatureSensor("Trackpad", 0);
    otherPage.primaryUsagePage = 0xff01;
    hid->addService(otherPage);
    hid->addService(SimulatedHIDSystem::temperatureSensor("GPU MTR Temp Sensor1", 50));

    EXPECT_EQ(matched(temperatureMatching),
              (std::vector<std::string>{"pACC MTR Temp Sensor0", "GPU MTR Temp Sensor1"}));
    EXPECT_TRUE(
        matched(iokit::HIDMatching{{"PrimaryUsagePage", 0xff00}, {"PrimaryUsage", 4}}).empty());
    EXPECT_TRUE(
        matched(iokit::HIDMatching{{"PrimaryUsagePage", 0xff02}, {"PrimaryUsage", 5}}).empty());
    // A property no service has matches nothing; no matching at all matches everything.
    EXPECT_TRUE(
        matched(iokit::HIDMatching{{"PrimaryUsagePage", 0xff00}, {"Transport", 5}}).empty());
    EXPECT_EQ(matched(std::nullopt).size(), 4U);
    EXPECT_EQ(hid->liveObjectCount(), 0U);
    EXPECT_EQ(hid->invalidReleaseCount(), 0U);
}

TEST_F(SimulatedHIDSystemTests, PropertiesAndTemperatureEvents) {
    hid->addService(SimulatedHIDSystem::temperatureSensor("SOC MTR Temp Sensor0", 41.5));
    SimulatedHIDService numbered;
    numbered.product = 7.0;
    hid->addService(numbered);
    hid->addService(SimulatedHIDService{});  // no name, no event

    const auto client = iokit::hidEventSystemClientCreate();
    const auto services = iokit::hidEventSystemClientCopyServices(client);
    ASSERT_EQ(iokit::hidServiceListCount(services), 3U);
    const auto named = iokit::hidServiceListAt(services, 0);
    const auto number = iokit::hidServiceListAt(services, 1);
    const auto bare = iokit::hidServiceListAt(services, 2);
    EXPECT_EQ(iokit::hidServiceListAt(services, 3), 0U);

    const auto text = iokit::hidServiceClientCopyProperty(named, "Product");
    EXPECT_EQ(iokit::hidPropertyGetValue(text),
              (HIDPropertyValue{HIDPropertyValue::Type::text, "SOC MTR Temp Sensor0", 0}));
    const auto numeric = iokit::hidServiceClientCopyProperty(number, "Product");
    EXPECT_EQ(iokit::hidPropertyGetValue(numeric),
              (HIDPropertyValue{HIDPropertyValue::Type::number, "", 7}));
    EXPECT_EQ(iokit::hidServiceClientCopyProperty(bare, "Product"), 0U);

    const auto event = iokit::hidServiceClientCopyEvent(named, iokit::hidEventTypeTemperature, 0);
    ASSERT_NE(event, 0U);
    EXPECT_EQ(iokit::hidEventGetFloatValue(event, 0xF0000), 41.5);
    EXPECT_EQ(iokit::hidEventGetFloatValue(event, 0xF0001), 0);
    EXPECT_EQ(iokit::hidServiceClientCopyEvent(named, 14, 0), 0U);
    EXPECT_EQ(iokit::hidServiceClientCopyEvent(bare, iokit::hidEventTypeTemperature, 0), 0U);

    // Temperatures move between copies; a copied event keeps its level.
    hid->setTemperature(0, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(iokit::hidEventGetFloatValue(event, 0xF0000), 41.5);
    const auto later = iokit::hidServiceClientCopyEvent(named, iokit::hidEventTypeTemperature, 0);
    EXPECT_TRUE(std::isnan(iokit::hidEventGetFloatValue(later, 0xF0000)));

    EXPECT_EQ(hid->liveObjectCount(), 6U);
    for (const auto object : {text, numeric, event, later, services, client}) {
        iokit::hidRelease(object);
    }
    EXPECT_EQ(hid->liveObjectCount(), 0U);
    EXPECT_EQ(hid->invalidReleaseCount(), 0U);
}

TEST_F(SimulatedHIDSystemTests, CountsReleasesOfObjectsThatAreNotLive) {
    hid->addService(SimulatedHIDSystem::temperatureSensor("eACC MTR Temp Sensor1", 40));
    const auto client = iokit::hidEventSystemClientCreate();
    const auto services = iokit::hidEventSystemClientCopyServices(client);
    // A borrowed service is not the caller's to release.
    iokit::hidRelease(iokit::hidServiceListAt(services, 0));
    iokit::hidRelease(services);
    iokit::hidRelease(services);
    iokit::hidRelease(client);
    EXPECT_EQ(hid->invalidReleaseCount(), 2U);
    EXPECT_EQ(hid->liveObjectCount(), 0U);
}

TEST_F(SimulatedHIDSystemTests, FaultsAndAMissingSystem) {
    hid->failClientCreation(true);
    EXPECT_EQ(iokit::hidEventSystemClientCreate(), 0U);
    hid->failClientCreation(false);
    hid->failServiceCopies(true);
    const auto client = iokit::hidEventSystemClientCreate();
    EXPECT_NE(client, 0U);
    EXPECT_EQ(iokit::hidEventSystemClientCopyServices(client), 0U);
    iokit::hidRelease(client);

    iokit::ScopedHIDBackend none(nullptr);
    EXPECT_EQ(iokit::hidEventSystemClientCreate(), 0U);
}

}  // namespace
}  // namespace virtualmac
