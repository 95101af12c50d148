// The repository over a real SMC connection to the simulated machine, one case per kind of
// fan hardware a Mac can have.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCError.h"
#include "Support/ScopedSimulatedSMC.h"
#include "VentrellaHardware/NativeSMCFactory.h"
#include "VentrellaHardware/NativeSMCReader.h"
#include "VentrellaHardware/SMCFanRepository.h"
#include "VentrellaHardware/SMCReadValidationError.h"

namespace ventrella::hardware {
namespace {

using shared::FanControlMode;
using virtualmac::SimulatedSMCConfiguration;
using ModeKeys = SimulatedSMCConfiguration::ModeKeys;

struct Profile {
    std::string name;
    SimulatedSMCConfiguration configuration;
    std::optional<SMCFanControlMechanism> mechanism;
    std::size_t fans;
    // The control check's error text; empty when it passes.
    std::string controlError;
};

SimulatedSMCConfiguration configuration(ModeKeys modeKeys, std::size_t fans, bool forceTest,
                                        std::string speedType) {
    SimulatedSMCConfiguration result;
    result.modeKeys = modeKeys;
    result.fans = std::vector<virtualmac::SimulatedFanSpec>(fans);
    result.hasForceTest = forceTest;
    result.forceTestGatesModeWrites = forceTest;
    result.speedType = std::move(speedType);
    return result;
}

std::vector<Profile> profiles() {
    return {
        {"appleSiliconTwoFans", configuration(ModeKeys::lowerCase, 2, true, "flt "),
         SMCFanControlMechanism::perFanMode("F%dmd"), 2, ""},
        {"upperCaseModeKey", configuration(ModeKeys::upperCase, 2, false, "flt "),
         SMCFanControlMechanism::perFanMode("F%dMd"), 2, ""},
        {"legacyMask", configuration(ModeKeys::legacyMask, 2, false, "fpe2"),
         SMCFanControlMechanism::legacyForcedMask("FS! "), 2, ""},
        {"noControlMechanism", configuration(ModeKeys::none, 2, false, "flt "), std::nullopt, 2,
         "No verified SMC fan-control mode mechanism was found."},
        {"noFans", configuration(ModeKeys::lowerCase, 0, false, "flt "), std::nullopt, 0,
         "No controllable fan was found."},
    };
}

class SMCFanRepositoryProfileTests : public ::testing::TestWithParam<Profile> {};

TEST_P(SMCFanRepositoryProfileTests, ReadsAndChecksTheFans) {
    const auto& profile = GetParam();
    testsupport::ScopedSimulatedSMC smc(profile.configuration);
    // The same code serves the helper's connection and the application's reader.
    const std::vector<std::shared_ptr<smc::SMCKeyReading>> readers = {
        std::make_shared<smc::SMCConnection>(), NativeSMCFactory::connection()};
    for (const auto& reader : readers) {
        SMCFanRepository repository(reader, std::nullopt);
        EXPECT_EQ(repository.controlMechanism(), profile.mechanism);

        const auto fans = repository.readFans(true);
        ASSERT_EQ(fans.size(), profile.fans);
        for (std::size_t id = 0; id < fans.size(); ++id) {
            EXPECT_EQ(fans[id].id, static_cast<std::int64_t>(id));
            EXPECT_EQ(fans[id].actualRPM, smc->actualSpeed(id));
            EXPECT_EQ(fans[id].targetRPM, smc->targetSpeed(id));
            EXPECT_EQ(fans[id].minimumRPM, 1200);
            EXPECT_EQ(fans[id].maximumRPM, 5800);
            EXPECT_EQ(fans[id].mode,
                      profile.mechanism ? FanControlMode::automatic : FanControlMode::unknown);
        }

        if (profile.controlError.empty()) {
            EXPECT_EQ(repository.validateControlSupport(), fans);
        } else {
            try {
                repository.validateControlSupport();
                ADD_FAILURE() << "the control check passed";
            } catch (const SMCReadValidationError& error) {
                EXPECT_EQ(error.description(), profile.controlError);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, SMCFanRepositoryProfileTests, ::testing::ValuesIn(profiles()),
                         [](const auto& info) { return info.param.name; });

TEST(SMCFanRepositoryOverSMCTests, ReadsManualFansAndReportsFirmwareErrors) {
    testsupport::ScopedSimulatedSMC lower(configuration(ModeKeys::lowerCase, 2, false, "flt "));
    lower->setModeByte(1, 1);
    SMCFanRepository repository(std::make_shared<smc::SMCConnection>(), std::nullopt);
    EXPECT_EQ(repository.readFans(false)[1].mode, FanControlMode::manual);

    // A key the Mac lacks is the SMC's own error, unchanged.
    lower->removeKey("F1Mx");
    try {
        repository.readFans(false);
        ADD_FAILURE() << "missing key read";
    } catch (const smc::SMCError& error) {
        EXPECT_EQ(error, smc::SMCError::firmware(smc::SMCResultCode::notFound));
    }
}

TEST(NativeSMCReaderTests, OpensItsOwnConnectionAndListsKeys) {
    EXPECT_THROW(NativeSMCFactory::connection(), smc::SMCError);

    testsupport::ScopedSimulatedSMC smc(configuration(ModeKeys::upperCase, 1, true, "flt "));
    {
        NativeSMCReader reader;
        EXPECT_EQ(smc->openClientCount(), 1U);
        EXPECT_EQ(reader.metadata("F0Md"), (smc::SMCKeyMetadata{1, "ui8 ", 0xC0}));
        EXPECT_EQ(reader.readKey("FNum"), (smc::SMCKeyValue{{1}, 1}));
        const auto keys = reader.enumerateKeys();
        auto expected = smc->keyNames();
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(keys, expected);
        EXPECT_NE(std::find(keys.begin(), keys.end(), "Ftst"), keys.end());
        // The enumerator's clients are gone again.
        EXPECT_EQ(smc->openClientCount(), 1U);
    }
    EXPECT_EQ(smc->openClientCount(), 0U);

    // An SMC that refuses new clients gives an empty list, not an error.
    NativeSMCReader reader;
    smc->failOpens(platform::iokit::ioReturnExclusiveAccess);
    EXPECT_TRUE(reader.enumerateKeys().empty());
}

}  // namespace
}  // namespace ventrella::hardware
