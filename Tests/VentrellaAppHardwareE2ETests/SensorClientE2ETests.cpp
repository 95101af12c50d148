// The application's sensor client with its production sources (SMC over IOKit, sysctl, HID)
// against a real `virtual-mac` process, on every machine the simulated Mac can be. The client
// runs on threads of the application's ordinary user, as in the application; the machine and
// its control are root's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "Platform/VirtualMac/MachineProfile.h"
#include "SMCKit/SMCError.h"
#include "Support/LocalUser.h"
#include "Support/RunningVirtualMac.h"
#include "Ventrella/Core/VentrellaError.h"
#include "Ventrella/Hardware/SMCReadClient.h"
#include "VentrellaHardware/AppleSiliconHIDTemperatureReader.h"
#include "VentrellaHardware/NativeSMCFactory.h"

namespace ventrella::apphardware {
namespace {

using core::VentrellaError;
using shared::FanControlMode;
using testsupport::LocalUser;
using testsupport::runAs;
using testsupport::RunningVirtualMac;
using virtualmac::MachineProfile;

const std::string unsupported = "This Mac does not expose a supported SMC hardware interface.";

struct Expectation {
    std::optional<std::int64_t> chipGeneration;
    bool canMonitor;
    bool canControl;
    std::optional<std::string> controlMechanism;
    std::optional<std::string> reason;
    FanControlMode fanMode;
};

Expectation expectation(const std::string& profile) {
    static const std::map<std::string, Expectation> expectations = {
        {"apple-silicon",
         {3, true, true, "per-fan:F%dmd", std::nullopt, FanControlMode::automatic}},
        {"upper-case-mode",
         {1, true, true, "per-fan:F%dMd", std::nullopt, FanControlMode::automatic}},
        {"legacy-mask",
         {std::nullopt, true, true, "legacy-mask:FS! ", std::nullopt, FanControlMode::automatic}},
        {"no-control",
         {4, true, false, std::nullopt, "Valid fan limits or mode could not be read.",
          FanControlMode::unknown}},
        {"no-fans",
         {2, true, false, std::nullopt, "No controllable fan was found on this device.",
          FanControlMode::unknown}},
        {"no-smc",
         {std::nullopt, false, false, std::nullopt, unsupported, FanControlMode::unknown}},
    };
    return expectations.at(profile);
}

class SensorClientE2E : public ::testing::TestWithParam<std::string> {};

TEST_P(SensorClientE2E, PreflightAndSnapshotDescribeTheMachine) {
    const auto profile = MachineProfile::named(GetParam());
    const auto expected = expectation(profile.name);
    const RunningVirtualMac mac(VIRTUAL_MAC_PROGRAM, profile.name);
    const auto status = mac.status();
    const auto user = LocalUser::application();
    SMCReadClient client;

    const auto preflight = runAs(user, [&] { return client.preflight(); });
    const auto& capabilities = preflight.capabilities;
    EXPECT_EQ(capabilities.model, profile.hardwareModel);
    EXPECT_EQ(capabilities.chipGeneration, expected.chipGeneration);
    EXPECT_EQ(capabilities.canMonitor, expected.canMonitor);
    EXPECT_EQ(capabilities.canControl, expected.canControl);
    EXPECT_EQ(capabilities.controlMechanism, expected.controlMechanism);
    EXPECT_EQ(capabilities.reason, expected.reason);
    ASSERT_EQ(preflight.fans.size(), status["fans"].size());
    EXPECT_EQ(capabilities.fanCount, static_cast<std::int64_t>(status["fans"].size()));
    for (std::size_t id = 0; id < preflight.fans.size(); ++id) {
        EXPECT_EQ(preflight.fans[id].minimumRPM, status["fans"][id]["minimum"].get<double>());
        EXPECT_EQ(preflight.fans[id].maximumRPM, status["fans"][id]["maximum"].get<double>());
        EXPECT_EQ(preflight.fans[id].mode, expected.fanMode);
    }

    if (!profile.hasSMC) {
        // Unsupported because there is no SMC to open, not merely because of the brand.
        EXPECT_THROW(runAs(user, [] { return hardware::NativeSMCFactory::connection(); }),
                     smc::SMCError);
        try {
            runAs(user, [&] { return client.snapshot(); });
            ADD_FAILURE() << "a snapshot without an SMC";
        } catch (const VentrellaError& error) {
            EXPECT_EQ(error, VentrellaError::unsupportedHardware(unsupported));
        }
        return;
    }

    // Every temperature key the machine publishes, at a value it showed while the snapshot was
    // taken (the machine's temperatures move meanwhile, however long that takes).
    const auto before = mac.status();
    const auto snapshot = runAs(user, [&] { return client.snapshot(); });
    const auto after = mac.status();
    std::map<std::string, double> temperatures = snapshot.cpuTemperatures;
    temperatures.insert(snapshot.gpuTemperatures.begin(), snapshot.gpuTemperatures.end());
    ASSERT_EQ(temperatures.size(), after["smcTemperatures"].size());
    for (const auto& [key, celsius] : temperatures) {
        ASSERT_TRUE(before["smcTemperatures"].contains(key) &&
                    after["smcTemperatures"].contains(key))
            << key;
        const double first = before["smcTemperatures"][key].get<double>();
        const double last = after["smcTemperatures"][key].get<double>();
        EXPECT_GE(celsius, std::min(first, last) - 0.5) << key;
        EXPECT_LE(celsius, std::max(first, last) + 0.5) << key;
    }
    ASSERT_EQ(snapshot.fans.size(), preflight.fans.size());
    for (const auto& fan : snapshot.fans) {
        EXPECT_EQ(fan.mode, expected.fanMode);
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, SensorClientE2E, ::testing::ValuesIn(MachineProfile::names()),
                         [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

// With all SMC temperature keys but one failing, the HID sensors fill in; once the keys answer
// again they alone serve.
TEST(SensorClientE2ETest, HIDSensorsStandInForFailingSMCKeysOnAppleSilicon) {
    const RunningVirtualMac mac(VIRTUAL_MAC_PROGRAM, "apple-silicon");
    const auto status = mac.status();
    const auto& smcKeys = status["smcTemperatures"];
    ASSERT_GE(smcKeys.size(), 3U);
    const std::string survivor = smcKeys.begin().key();
    for (const auto& [key, celsius] : smcKeys.items()) {
        if (key != survivor) {
            mac.control(
                {{"command", "fault"}, {"kind", "result-code"}, {"key", key}, {"code", 0x84}});
        }
    }
    // The die sensors among the HID services, by their product names.
    std::set<std::string> hidKeys;
    for (const auto& [product, celsius] : status["hidTemperatures"].items()) {
        if (hardware::AppleSiliconHIDTemperatureReader::group(product)) {
            hidKeys.insert("HID:" + product);
        }
    }
    ASSERT_FALSE(hidKeys.empty());

    const auto user = LocalUser::application();
    SMCReadClient client;
    const auto snapshot = runAs(user, [&] { return client.snapshot(); });
    std::set<std::string> keys;
    for (const auto* map : {&snapshot.cpuTemperatures, &snapshot.gpuTemperatures}) {
        for (const auto& [key, celsius] : *map) {
            keys.insert(key);
        }
    }
    auto expected = hidKeys;
    expected.insert(survivor);
    EXPECT_EQ(keys, expected);

    mac.control({{"command", "clear-faults"}});
    const auto healthy = runAs(user, [&] { return client.snapshot(); });
    EXPECT_EQ(healthy.cpuTemperatures.size() + healthy.gpuTemperatures.size(), smcKeys.size());
    for (const auto& key : hidKeys) {
        EXPECT_FALSE(healthy.cpuTemperatures.contains(key) ||
                     healthy.gpuTemperatures.contains(key));
    }
}

}  // namespace
}  // namespace ventrella::apphardware
