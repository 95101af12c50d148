#include "Platform/VirtualMac/MachineProfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "Platform/VirtualMac/SMCFirmwareResult.h"
#include "Platform/VirtualMac/SimulatedSMC.h"
#include "SMCFanKit/SensorCatalog.h"
#include "VentrellaHardware/AppleChipGeneration.h"

using namespace virtualmac;

namespace {

// The CPU and GPU temperature keys of the chip a client recognises from this brand text: its
// generation's own list (without the cross-platform keys an Apple silicon Mac lacks), or the
// cross-platform list for a brand that is not Apple silicon.
std::set<std::string> cpuGpuKeysForBrand(const std::string& brand) {
    const auto& crossPlatform = ventrella::fan::SensorCatalog::crossPlatform();
    const auto generation = ventrella::hardware::fromBrandString(brand);
    auto catalog = generation ? ventrella::hardware::sensors(*generation) : crossPlatform;
    if (generation) {
        catalog.resize(catalog.size() - crossPlatform.size());
    }
    std::set<std::string> keys;
    for (const auto& sensor : catalog) {
        if (sensor.type == ventrella::fan::SensorType::temperature &&
            (sensor.group == ventrella::fan::SensorGroup::cpu ||
             sensor.group == ventrella::fan::SensorGroup::gpu)) {
            keys.insert(sensor.key);
        }
    }
    return keys;
}

std::uint8_t writeByte(SimulatedSMC& smc, const std::string& key, std::uint8_t value) {
    platform::iokit::ClientID client = 0;
    EXPECT_EQ(smc.openClient(0, client), platform::iokit::kernSuccess);
    SMCCallRecord request;
    request.key = smcCode(key);
    request.command = smccommand::writeBytes;
    request.dataSize = 1;
    request.bytes[0] = value;
    std::array<std::uint8_t, SMCCallRecord::size> output{};
    std::size_t size = output.size();
    EXPECT_EQ(smc.callStructMethod(client, 2, request.encode(), output, size),
              platform::iokit::kernSuccess);
    smc.closeClient(client);
    return SMCCallRecord::decode(output).result;
}

}  // namespace

TEST(MachineProfile, EveryNameBuildsItsProfileAndUnknownNamesListTheKnownOnes) {
    const auto names = MachineProfile::names();
    EXPECT_EQ(names.size(), 6u);
    for (const auto& name : names) {
        const auto profile = MachineProfile::named(name);
        EXPECT_EQ(profile.name, name);
        EXPECT_FALSE(profile.brandString.empty());
        EXPECT_FALSE(profile.hardwareModel.empty());
        // Without an SMC there is nothing to publish temperatures in.
        EXPECT_EQ(profile.temperatureKeys.empty(), !profile.hasSMC) << name;
    }
    try {
        MachineProfile::named("apple-slicon");
        FAIL() << "an unknown profile was accepted";
    } catch (const UnknownMachineProfile& error) {
        const std::string text = error.what();
        EXPECT_NE(text.find("\"apple-slicon\""), std::string::npos) << text;
        EXPECT_NE(text.find("legacy-mask"), std::string::npos) << text;
    }
}

TEST(MachineProfile, PublishesExactlyTheTemperatureKeysItsChipsCatalogueNames) {
    for (const auto& name : MachineProfile::names()) {
        const auto profile = MachineProfile::named(name);
        if (!profile.hasSMC) {
            continue;
        }
        std::set<std::string> published;
        for (const auto& key : profile.temperatureKeys) {
            published.insert(key.key);
            EXPECT_TRUE(key.dataType == "flt " || key.dataType == "sp78") << key.key;
            EXPECT_NE(key.source, HeatSource::ambient) << key.key;
        }
        EXPECT_EQ(published.size(), profile.temperatureKeys.size()) << name << ": duplicate keys";
        EXPECT_EQ(published, cpuGpuKeysForBrand(profile.brandString)) << name;
    }
    EXPECT_EQ(MachineProfile::named("apple-silicon").brandString, "Apple M3 Pro");
    EXPECT_EQ(MachineProfile::named("apple-silicon").hardwareModel, "Mac15,6");
    // The Intel-like machine has no Apple silicon sensor services.
    EXPECT_TRUE(MachineProfile::named("legacy-mask").hidSensors.empty());
}

TEST(MachineProfile, HIDSensorsFollowTheDiesTheirNamesDescribe) {
    const auto sensors = MachineProfile::named("apple-silicon").hidSensors;
    ASSERT_FALSE(sensors.empty());
    bool sawGpu = false;
    for (const auto& sensor : sensors) {
        std::string lower = sensor.product;
        std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
        if (lower.find("gpu") != std::string::npos) {
            EXPECT_EQ(sensor.source, HeatSource::gpu) << sensor.product;
            sawGpu = true;
        } else if (lower.find("pacc") != std::string::npos ||
                   lower.find("eacc") != std::string::npos ||
                   lower.find("soc") != std::string::npos) {
            EXPECT_EQ(sensor.source, HeatSource::cpu) << sensor.product;
        } else {
            EXPECT_EQ(sensor.source, HeatSource::ambient) << sensor.product;
        }
    }
    EXPECT_TRUE(sawGpu);
}

TEST(MachineProfile, FanHardwareOfEachProfileBehavesAsNamed) {
    {
        SimulatedSMC smc(MachineProfile::named("apple-silicon").smc);
        EXPECT_EQ(smc.fanCount(), 2u);
        EXPECT_TRUE(smc.key("F1md").has_value());
        // Manual mode needs the "Ftst" unlock; automatic mode does not.
        EXPECT_EQ(writeByte(smc, "F0md", 1), smcresult::notWritable);
        EXPECT_EQ(writeByte(smc, "F0md", 0), smcresult::success);
        EXPECT_EQ(writeByte(smc, "Ftst", 1), smcresult::success);
        EXPECT_EQ(writeByte(smc, "F0md", 1), smcresult::success);
        EXPECT_TRUE(smc.isFanManual(0));
    }
    {
        SimulatedSMC smc(MachineProfile::named("upper-case-mode").smc);
        EXPECT_FALSE(smc.key("F0md").has_value());
        EXPECT_FALSE(smc.key("Ftst").has_value());
        EXPECT_EQ(writeByte(smc, "F0Md", 1), smcresult::success);
        EXPECT_TRUE(smc.isFanManual(0));
    }
    {
        SimulatedSMC smc(MachineProfile::named("legacy-mask").smc);
        ASSERT_TRUE(smc.key("FS! ").has_value());
        EXPECT_EQ(smc.key("FS! ")->dataType, "ui16");
        EXPECT_EQ(smc.key("F0Tg")->dataType, "fpe2");
        EXPECT_FALSE(smc.key("F0md").has_value());
    }
    {
        SimulatedSMC smc(MachineProfile::named("no-control").smc);
        EXPECT_EQ(smc.fanCount(), 2u);
        EXPECT_FALSE(smc.key("F0md") || smc.key("F0Md") || smc.key("FS! "));
    }
    {
        SimulatedSMC smc(MachineProfile::named("no-fans").smc);
        EXPECT_EQ(smc.key("FNum")->bytes, std::vector<std::uint8_t>{0});
    }
}
