#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "SMCKit/SMCError.h"
#include "Support/ScopedSimulatedSMC.h"
#include "VentrellaHardware/SMCReadValidationError.h"
#include "VentrellaHelper/HelperError.h"
#include "VentrellaHelper/NativeFanHardware.h"

namespace ventrella::helper::testing {
namespace {

using virtualmac::SimulatedSMCConfiguration;
using ModeKeys = SimulatedSMCConfiguration::ModeKeys;
using ::testing::ElementsAre;

// The adapter over an in-process simulated SMC, on virtual time; counts the SMC sessions opened.
struct HardwareFixture {
    explicit HardwareFixture(SimulatedSMCConfiguration configuration = {})
        : smc(std::move(configuration)) {}

    testsupport::ScopedSimulatedSMC smc;
    int connectionsOpened = 0;
    std::vector<double> settleSleeps;
    double controllerTime = 0;

    NativeFanHardware hardware{NativeFanHardware::Dependencies{
        [this] {
            ++connectionsOpened;
            return std::make_shared<smc::SMCConnection>();
        },
        [this](double seconds) { settleSleeps.push_back(seconds); },
        [this] { return controllerTime; },
        [this](double seconds) { controllerTime += seconds; },
    }};

    std::vector<std::string> writtenKeys() {
        std::vector<std::string> keys;
        for (const auto& entry : smc->journal()) {
            if (entry.command == 6)
                keys.push_back(entry.key);
        }
        return keys;
    }
};

std::string helperErrorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const HelperError& error) {
        return error.message();
    }
    return "(no HelperError)";
}

SimulatedSMCConfiguration configuration(ModeKeys modeKeys, bool ftst = false, bool gated = false,
                                        std::string speedType = "flt ") {
    SimulatedSMCConfiguration result;
    result.modeKeys = modeKeys;
    result.hasForceTest = ftst;
    result.forceTestGatesModeWrites = gated;
    result.speedType = std::move(speedType);
    return result;
}

TEST(NativeFanHardwareTest, TakesAndReturnsTheFansOnEveryMechanism) {
    const std::pair<std::string, SimulatedSMCConfiguration> machines[] = {
        {"lower-case mode keys", configuration(ModeKeys::lowerCase)},
        {"upper-case mode keys", configuration(ModeKeys::upperCase)},
        {"legacy mask", configuration(ModeKeys::legacyMask)},
        {"Ftst-gated mode keys", configuration(ModeKeys::lowerCase, true, true)},
        {"fpe2 speeds", configuration(ModeKeys::lowerCase, false, false, "fpe2")},
    };
    for (const auto& [name, machine] : machines) {
        SCOPED_TRACE(name);
        HardwareFixture fixture(machine);
        auto& hardware = fixture.hardware;
        ASSERT_NO_THROW(hardware.validateControlSupport());
        for (std::int64_t id : {0, 1}) {
            hardware.enableManualMode(id);
            hardware.writeTargetRPM(id, 3001 + id);
        }
        auto fans = hardware.verifyManualTargets({});
        ASSERT_EQ(fans.size(), 2U);
        for (const auto& fan : fans) {
            EXPECT_EQ(fan.mode, shared::FanControlMode::manual);
            EXPECT_NEAR(fan.targetRPM, 3001.0 + static_cast<double>(fan.id), 0.5);
        }
        fans = hardware.restoreAutomatic();
        EXPECT_TRUE(fans[0].isAutomatic() && fans[1].isAutomatic());
        EXPECT_THAT(fixture.settleSleeps, ElementsAre(0.5));
        EXPECT_FALSE(fixture.smc->isFanManual(0) || fixture.smc->isFanManual(1));
        if (machine.hasForceTest) {
            EXPECT_EQ(fixture.smc->key("Ftst")->bytes, std::vector<std::uint8_t>{0});
        }
        // One SMC session for the whole sequence.
        EXPECT_EQ(fixture.connectionsOpened, 1);
    }
}

TEST(NativeFanHardwareTest, WithoutAMechanismEveryCallFailsAndNothingIsKept) {
    HardwareFixture fixture(configuration(ModeKeys::none));
    const std::string expected = "No verified SMC fan-control mode mechanism was found.";
    EXPECT_EQ(helperErrorText([&] { fixture.hardware.readFans(); }), expected);
    EXPECT_EQ(helperErrorText([&] { fixture.hardware.restoreAutomatic(); }), expected);
    EXPECT_EQ(helperErrorText([&] { fixture.hardware.enableManualMode(0); }), expected);
    EXPECT_EQ(fixture.connectionsOpened, 3);
    EXPECT_TRUE(fixture.writtenKeys().empty());
}

TEST(NativeFanHardwareTest, RestoreCollectsEveryIssueIntoOneText) {
    HardwareFixture fixture;
    fixture.hardware.enableManualMode(0);
    fixture.hardware.enableManualMode(1);
    fixture.smc->refuseWrites("F1md");

    const std::string writeError =
        smc::SMCError::firmware(smc::SMCResultCode::notWritable).description();
    EXPECT_EQ(
        helperErrorText([&] { fixture.hardware.restoreAutomatic(); }),
        "Fan 1 mode: " + writeError + "; Apple Automatic could not be verified on every fan.");
    // Fan 0 was still handed back; the fans are read once more after the settle time.
    EXPECT_FALSE(fixture.smc->isFanManual(0));
    EXPECT_TRUE(fixture.smc->isFanManual(1));
    EXPECT_THAT(fixture.settleSleeps, ElementsAre(0.5));
}

TEST(NativeFanHardwareTest, FtstThatCannotBeResetIsReported) {
    HardwareFixture fixture(configuration(ModeKeys::lowerCase, true, true));
    fixture.hardware.enableManualMode(0);
    fixture.smc->refuseWrites("Ftst");
    const std::string text = helperErrorText([&] { fixture.hardware.restoreAutomatic(); });
    EXPECT_EQ(text.rfind("Ftst: ", 0), 0U) << text;
}

TEST(NativeFanHardwareTest, UnsupportedTargetTypeFailsBeforeAnyWrite) {
    HardwareFixture fixture;
    fixture.smc->setKeyType("F0Tg", "ui16", {0x0b, 0xb8});
    fixture.smc->clearJournal();
    EXPECT_THROW(fixture.hardware.writeTargetRPM(0, 3000), hardware::SMCReadValidationError);
    EXPECT_TRUE(fixture.writtenKeys().empty());
}

TEST(NativeFanHardwareTest, LegacyMaskCannotEnableFanSixteen) {
    HardwareFixture fixture(configuration(ModeKeys::legacyMask));
    fixture.hardware.readFans();
    fixture.smc->clearJournal();
    EXPECT_THROW(fixture.hardware.enableManualMode(16), hardware::SMCReadValidationError);
    EXPECT_EQ(helperErrorText([&] { fixture.hardware.enableManualMode(std::int64_t{1} << 32); }),
              "Fan 4294967296 manual mode could not be verified.");
    EXPECT_TRUE(fixture.writtenKeys().empty());
}

}  // namespace
}  // namespace ventrella::helper::testing
