#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

#include "Platform/IOKit/HIDBackend.h"
#include "Platform/VirtualMac/SimulatedHIDSystem.h"
#include "VentrellaHardware/AppleSiliconHIDTemperatureReader.h"

namespace ventrella::hardware {
namespace {

using Group = ProcessorTemperatureGroup;
using virtualmac::SimulatedHIDSystem;

TEST(AppleSiliconHIDTemperatureReaderTests, GroupsByTheWordsInTheName) {
    EXPECT_EQ(AppleSiliconHIDTemperatureReader::group("GPU MTR Temp Sensor1"), Group::gpu);
    EXPECT_EQ(AppleSiliconHIDTemperatureReader::group("gPu die"), Group::gpu);
    // A name with both words is a GPU sensor.
    EXPECT_EQ(AppleSiliconHIDTemperatureReader::group("CPU/GPU shared"), Group::gpu);
    EXPECT_EQ(AppleSiliconHIDTemperatureReader::group("pACC MTR Temp Sensor0"), Group::cpu);
    EXPECT_EQ(AppleSiliconHIDTemperatureReader::group("eACC MTR Temp Sensor1"), Group::cpu);
    EXPECT_EQ(AppleSiliconHIDTemperatureReader::group("SOC MTR Temp Sensor0"), Group::cpu);
    EXPECT_EQ(AppleSiliconHIDTemperatureReader::group("cpu proximity"), Group::cpu);
    EXPECT_EQ(AppleSiliconHIDTemperatureReader::group("NAND CH0 temp"), std::nullopt);
    EXPECT_EQ(AppleSiliconHIDTemperatureReader::group("gas gauge battery"), std::nullopt);
}

TEST(AppleSiliconHIDTemperatureReaderTests, ReadsCPUAndGPUSamples) {
    auto hid = std::make_shared<SimulatedHIDSystem>();
    platform::iokit::ScopedHIDBackend installed(hid);
    EXPECT_TRUE(AppleSiliconHIDTemperatureReader::read().empty());

    hid->addService(SimulatedHIDSystem::temperatureSensor("pACC MTR Temp Sensor0", 48.5));
    hid->addService(SimulatedHIDSystem::temperatureSensor("GPU MTR Temp Sensor1", 52));
    hid->addService(SimulatedHIDSystem::temperatureSensor("NAND CH0 temp", 35));
    hid->addService(SimulatedHIDSystem::temperatureSensor(
        "SOC MTR Temp Sensor0", std::numeric_limits<double>::quiet_NaN()));

    auto samples = AppleSiliconHIDTemperatureReader::read();
    std::sort(samples.begin(), samples.end(),
              [](const auto& lhs, const auto& rhs) { return lhs.key < rhs.key; });
    EXPECT_EQ(samples, (std::vector<ProcessorTemperatureSample>{
                           {"HID:GPU MTR Temp Sensor1", 52, Group::gpu},
                           {"HID:pACC MTR Temp Sensor0", 48.5, Group::cpu},
                       }));
    EXPECT_EQ(hid->liveObjectCount(), 0U);
}

}  // namespace
}  // namespace ventrella::hardware
