#include "Platform/VirtualMac/VirtualMachine.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "Platform/Foundation/Sysctl.h"
#include "Platform/IOKit/InProcessBackend.h"
#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCError.h"
#include "Support/TemporaryPlatformRoot.h"

using namespace virtualmac;

namespace {

float littleEndianFloat(const std::vector<std::uint8_t>& bytes) {
    const std::uint32_t raw = static_cast<std::uint32_t>(bytes.at(0)) | bytes.at(1) << 8 |
                              bytes.at(2) << 16 | static_cast<std::uint32_t>(bytes.at(3)) << 24;
    return std::bit_cast<float>(raw);
}

double sp78(const std::vector<std::uint8_t>& bytes) {
    return static_cast<std::int16_t>(bytes.at(0) << 8 | bytes.at(1)) / 256.0;
}

std::vector<std::uint8_t> fltBytes(float value) {
    const auto raw = std::bit_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
            static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
}

void run(VirtualMachine& machine, double seconds) {
    for (double t = 0; t < seconds; t += 0.5) {
        machine.tick(0.5);
    }
}

}  // namespace

TEST(VirtualMachine, LoadHeatsTheDiesAndTheKeysAndAutomaticFansFollow) {
    VirtualMachine machine(MachineProfile::named("apple-silicon"));
    const auto idle = machine.status();
    machine.setLoad(100, 80);
    run(machine, 120);
    const auto hot = machine.status();
    EXPECT_GT(hot.cpuCelsius, idle.cpuCelsius + 30);
    EXPECT_GT(hot.gpuCelsius, idle.gpuCelsius + 20);
    EXPECT_DOUBLE_EQ(hot.cpuLoadPercent, 100);
    EXPECT_NEAR(hot.gpuLoadPercent, 80, 1e-9);
    ASSERT_EQ(hot.fans.size(), 2u);
    EXPECT_FALSE(hot.fans[0].manual);
    // The firmware's curve has spun the fans up from their minimum.
    EXPECT_GT(hot.fans[0].targetRPM, hot.fans[0].minimumRPM + 500);
    EXPECT_NEAR(hot.fans[0].actualRPM, hot.fans[0].targetRPM, 50);

    // Every catalogue key shows its die's temperature (within the per-core spread).
    for (const auto& key : machine.profile().temperatureKeys) {
        const auto bytes = machine.smc()->key(key.key)->bytes;
        const double die = key.source == HeatSource::cpu ? hot.cpuCelsius : hot.gpuCelsius;
        EXPECT_NEAR(littleEndianFloat(bytes), die, 2.0) << key.key;
    }
    for (const auto& reading : machine.hidTemperatures()) {
        EXPECT_TRUE(std::isfinite(reading.celsius)) << reading.name;
    }

    machine.setLoad(0, std::nullopt);
    run(machine, 120);
    EXPECT_LT(machine.status().cpuCelsius, hot.cpuCelsius - 20);
    EXPECT_NEAR(machine.status().gpuLoadPercent, 80, 1e-9);
}

TEST(VirtualMachine, LegacyMachinePublishesSp78TemperaturesAndFpe2Speeds) {
    VirtualMachine machine(MachineProfile::named("legacy-mask"));
    machine.setLoad(100, 0);
    run(machine, 60);
    const auto status = machine.status();
    const auto& key = machine.profile().temperatureKeys.front();
    ASSERT_EQ(key.dataType, "sp78");
    EXPECT_NEAR(sp78(machine.smc()->key(key.key)->bytes), status.cpuCelsius + key.offsetCelsius,
                1.0 / 256);
    const auto actual = machine.smc()->key("F0Ac")->bytes;
    ASSERT_EQ(actual.size(), 2u);
    EXPECT_NEAR((actual[0] << 8 | actual[1]) / 4.0, status.fans[0].actualRPM, 0.25);
}

TEST(VirtualMachine, ManualTargetsWrittenThroughTheSMCDriveTheFansWithALag) {
    VirtualMachine machine(MachineProfile::named("upper-case-mode"));
    platform::iokit::ScopedInProcessDevice device(machine.smc());
    ventrella::smc::SMCConnection connection;
    connection.writeKey("F1Md", {1});
    connection.writeKey("F1Tg", fltBytes(5000));

    machine.tick(0.5);
    const double early = machine.status().fans[1].actualRPM;
    EXPECT_GT(early, 1400);
    EXPECT_LT(early, 4000);  // not there at once
    run(machine, 15);
    EXPECT_NEAR(littleEndianFloat(connection.readKey("F1Ac").bytes), 5000, 5);
    EXPECT_TRUE(machine.status().fans[1].manual);
    // The untouched fan stays with the firmware.
    EXPECT_FALSE(machine.status().fans[0].manual);
    EXPECT_NEAR(machine.status().fans[0].actualRPM, 1200, 5);

    // Back to automatic: the firmware takes the target again.
    connection.writeKey("F1Md", {0});
    run(machine, 15);
    EXPECT_NEAR(machine.status().fans[1].actualRPM, 1300, 5);
}

TEST(VirtualMachine, FaultsReachClientsAndClearTogether) {
    VirtualMachine machine(MachineProfile::named("apple-silicon"));
    platform::iokit::ScopedInProcessDevice device(machine.smc());
    ventrella::smc::SMCConnection connection;

    machine.refuseWrites("F0Tg");
    machine.injectResult("F1Tg", 0x99);
    machine.stickForceTest();
    machine.dropManualMode(1);
    EXPECT_EQ(machine.status().faults.size(), 4u);
    try {
        connection.writeKey("F0Tg", fltBytes(3000));
        FAIL() << "a refused write succeeded";
    } catch (const ventrella::smc::SMCError& error) {
        EXPECT_STREQ(error.what(), "SMC firmware error: notWritable (0x86)");
    }
    EXPECT_THROW(connection.readKey("F1Tg"), ventrella::smc::SMCError);
    EXPECT_EQ(connection.readKey("Ftst").bytes, std::vector<std::uint8_t>{1});
    connection.writeKey("F1md", {1});
    EXPECT_FALSE(machine.status().fans[1].manual);

    machine.clearFaults();
    EXPECT_TRUE(machine.status().faults.empty());
    connection.writeKey("F0Tg", fltBytes(3000));
    connection.writeKey("F1md", {1});
    EXPECT_TRUE(machine.status().fans[1].manual);
    connection.writeKey("Ftst", {0});
    EXPECT_EQ(connection.readKey("Ftst").bytes, std::vector<std::uint8_t>{0});
    EXPECT_FALSE(machine.status().fans[1].manual);
}

TEST(VirtualMachine, AnotherApplicationTakesAFanOnEachMechanism) {
    for (const char* name : {"apple-silicon", "upper-case-mode", "legacy-mask"}) {
        VirtualMachine machine(MachineProfile::named(name));
        machine.takeFanManual(1, 4000);
        run(machine, 15);
        const auto status = machine.status();
        EXPECT_TRUE(status.fans[1].manual) << name;
        EXPECT_FALSE(status.fans[0].manual) << name;
        EXPECT_NEAR(status.fans[1].actualRPM, 4000, 5) << name;
    }
    VirtualMachine noControl(MachineProfile::named("no-control"));
    EXPECT_THROW(noControl.takeFanManual(0, 3000), MachineRequestError);
}

TEST(VirtualMachine, RefusesRequestsTheMachineCannotCarryOut) {
    VirtualMachine machine(MachineProfile::named("upper-case-mode"));
    EXPECT_THROW(machine.dropManualMode(2), MachineRequestError);
    EXPECT_THROW(machine.stickForceTest(), MachineRequestError);
    EXPECT_THROW(machine.keepMaskBits(), MachineRequestError);
    EXPECT_THROW(machine.refuseWrites("F0md"), MachineRequestError);  // lower-case: absent
    EXPECT_THROW(machine.injectResult("F0T", 0x99), MachineRequestError);
    EXPECT_THROW(machine.takeFanManual(0, 1e9), MachineRequestError);
    EXPECT_THROW(machine.setLoad(101, std::nullopt), MachineRequestError);
    EXPECT_THROW(machine.setLoad(std::nullopt, std::nan("")), MachineRequestError);
    EXPECT_THROW(machine.tick(-1), std::invalid_argument);
    EXPECT_TRUE(machine.status().faults.empty());
    EXPECT_EQ(machine.services().size(), 1u);

    // A machine without an SMC offers no service and no SMC key to break.
    VirtualMachine pc(MachineProfile::named("no-smc"));
    EXPECT_TRUE(pc.services().empty());
    EXPECT_THROW(pc.refuseWrites("FNum"), MachineRequestError);
    EXPECT_THROW(pc.injectResult("FNum", 0x99), MachineRequestError);
    EXPECT_TRUE(pc.status().faults.empty());

    VirtualMachine noFans(MachineProfile::named("no-fans"));
    noFans.setLoad(100, 100);
    run(noFans, 30);
    EXPECT_TRUE(noFans.status().fans.empty());
    EXPECT_GT(noFans.status().cpuCelsius, 50);
}

TEST(VirtualMachine, FanNumbersStayWithinWhatTheManualMaskHolds) {
    // A legacy machine whose mask had no bit for its last fan is not built at all.
    auto crowded = MachineProfile::named("legacy-mask");
    crowded.smc.fans.resize(17);
    EXPECT_THROW(VirtualMachine{crowded}, std::invalid_argument);

    VirtualMachine machine(MachineProfile::named("legacy-mask"));
    for (const std::size_t fan : {std::size_t{2}, std::size_t{16}, std::size_t{32}}) {
        SCOPED_TRACE(fan);
        EXPECT_THROW(machine.takeFanManual(fan, 3000), MachineRequestError);
    }
    EXPECT_EQ(machine.smc()->key("FS! ")->bytes, (std::vector<std::uint8_t>{0, 0}));
    machine.takeFanManual(1, 3000);
    EXPECT_EQ(machine.smc()->key("FS! ")->bytes, (std::vector<std::uint8_t>{0, 2}));
}

TEST(VirtualMachine, PublishesItsIdentityForSysctl) {
    ventrella::testsupport::TemporaryPlatformRoot root;
    VirtualMachine machine(MachineProfile::named("apple-silicon"));
    machine.publishIdentity();
    char buffer[64] = {};
    std::size_t size = sizeof buffer;
    ASSERT_EQ(platform::foundation::sysctlByName("hw.model", buffer, &size), 0);
    EXPECT_STREQ(buffer, "Mac15,6");
    size = sizeof buffer;
    ASSERT_EQ(platform::foundation::sysctlByName("machdep.cpu.brand_string", buffer, &size), 0);
    EXPECT_STREQ(buffer, "Apple M3 Pro");
}
