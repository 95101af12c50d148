#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <memory>
#include <string>

#include "Platform/IOKit/HIDBackend.h"
#include "Platform/VirtualMac/SimulatedHIDSystem.h"
#include "VentrellaSensors/AppleSiliconTemperatureSensors.h"

namespace ventrella::sensors {
namespace {

using virtualmac::SimulatedHIDService;
using virtualmac::SimulatedHIDSystem;
using Temperatures = std::map<std::string, double>;

class AppleSiliconTemperatureSensorsTests : public ::testing::Test {
  protected:
    void TearDown() override {
        // Whatever the outcome, nothing copied may be left behind, nor released twice.
        EXPECT_EQ(hid->liveObjectCount(), 0U);
        EXPECT_EQ(hid->invalidReleaseCount(), 0U);
    }

    std::shared_ptr<SimulatedHIDSystem> hid = std::make_shared<SimulatedHIDSystem>();
    platform::iokit::ScopedHIDBackend installed{hid};
};

TEST_F(AppleSiliconTemperatureSensorsTests, ReadsEveryTemperatureServiceByName) {
    hid->addService(SimulatedHIDSystem::temperatureSensor("pACC MTR Temp Sensor0", 48.25));
    hid->addService(SimulatedHIDSystem::temperatureSensor("GPU MTR Temp Sensor1", 52));
    hid->addService(SimulatedHIDSystem::temperatureSensor("NAND CH0 temp", 35));
    EXPECT_EQ(VLAppleSiliconTemperatureSensors(), (Temperatures{{"pACC MTR Temp Sensor0", 48.25},
                                                                {"GPU MTR Temp Sensor1", 52},
                                                                {"NAND CH0 temp", 35}}));
}

TEST_F(AppleSiliconTemperatureSensorsTests, SkipsWhatCannotBeAReading) {
    hid->addService(SimulatedHIDSystem::temperatureSensor("SOC MTR Temp Sensor0", 40));
    SimulatedHIDService numbered;
    numbered.product = 3.0;
    numbered.temperature = 41;
    hid->addService(numbered);
    SimulatedHIDService nameless;
    nameless.temperature = 42;
    hid->addService(nameless);
    hid->addService(SimulatedHIDSystem::temperatureSensor("eACC MTR Temp Sensor1", std::nullopt));
    hid->addService(SimulatedHIDSystem::temperatureSensor(
        "pACC MTR Temp Sensor2", std::numeric_limits<double>::quiet_NaN()));
    hid->addService(SimulatedHIDSystem::temperatureSensor("pACC MTR Temp Sensor3",
                                                          std::numeric_limits<double>::infinity()));
    hid->addService(SimulatedHIDSystem::temperatureSensor(
        "pACC MTR Temp Sensor4", -std::numeric_limits<double>::infinity()));
    // Services of another usage page or usage are never looked at.
    auto otherUsage = SimulatedHIDSystem::temperatureSensor("GPU MTR Temp Sensor5", 60);
    otherUsage.primaryUsage = 4;
    hid->addService(otherUsage);
    auto otherPage = SimulatedHIDSystem::temperatureSensor("GPU MTR Temp Sensor6", 61);
    otherPage.primaryUsagePage = 0xff05;
    hid->addService(otherPage);

    EXPECT_EQ(VLAppleSiliconTemperatureSensors(), (Temperatures{{"SOC MTR Temp Sensor0", 40}}));
}

TEST_F(AppleSiliconTemperatureSensorsTests, TheLastServiceOfANameWins) {
    hid->addService(SimulatedHIDSystem::temperatureSensor("GPU MTR Temp Sensor1", 50));
    hid->addService(SimulatedHIDSystem::temperatureSensor("GPU MTR Temp Sensor1", 55));
    // A later service without a usable value does not erase the earlier reading.
    hid->addService(SimulatedHIDSystem::temperatureSensor(
        "GPU MTR Temp Sensor1", std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(VLAppleSiliconTemperatureSensors(), (Temperatures{{"GPU MTR Temp Sensor1", 55}}));
}

TEST_F(AppleSiliconTemperatureSensorsTests, EmptyWhenTheEventSystemFails) {
    hid->addService(SimulatedHIDSystem::temperatureSensor("pACC MTR Temp Sensor0", 48));
    hid->failClientCreation(true);
    EXPECT_TRUE(VLAppleSiliconTemperatureSensors().empty());
    hid->failClientCreation(false);
    hid->failServiceCopies(true);
    EXPECT_TRUE(VLAppleSiliconTemperatureSensors().empty());
    hid->failServiceCopies(false);
    EXPECT_EQ(VLAppleSiliconTemperatureSensors().size(), 1U);

    platform::iokit::ScopedHIDBackend none(nullptr);
    EXPECT_TRUE(VLAppleSiliconTemperatureSensors().empty());
}

}  // namespace
}  // namespace ventrella::sensors
