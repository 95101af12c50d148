// The repository over a real SMC connection to the simulated machine, one case per
// machine profile of the simulated Mac.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/VirtualMac/MachineProfile.h"
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

SimulatedSMCConfiguration configuration(ModeKeys modeKeys, std::size_t fans, bool forceTest,
                                        std::string speedType) {
    SimulatedSMCConfiguration result;
    result.modeKeys = modeKeys;
    result.fans = std::vector<virtualmac::SimulatedFan>(fans);
    result.hasForceTest = forceTest;
    result.forceTestGatesModeWrites = forceTest;
    result.speedType = std::move(speedType);
    return result;
}

// What the repository must find on each machine profile.
struct Expectation {
    std::optional<SMCFanControlMechanism> mechanism;
    // The control check's error text; empty when it passes.
    std::string controlError;
};

Expectation expectation(const std::string& profile) {
    static const std::map<std::string, Expectation> expectations = {
        {"apple-silicon", {SMCFanControlMechanism::perFanMode("F%dmd"), ""}},
        {"upper-case-mode", {SMCFanControlMechanism::perFanMode("F%dMd"), ""}},
        {"legacy-mask", {SMCFanControlMechanism::legacyForcedMask("FS! "), ""}},
        {"no-control", {std::nullopt, "No verified SMC fan-control mode mechanism was found."}},
        {"no-fans", {std::nullopt, "No controllable fan was found."}},
    };
    return expectations.at(profile);
}

// A machine without an SMC has no fans to read here.
std::vector<std::string> profilesWithSMC() {
    std::vector<std::string> names;
    for (const auto& name : virtualmac::MachineProfile::names()) {
        if (virtualmac::MachineProfile::named(name).hasSMC) {
            names.push_back(name);
        }
    }
    return names;
}

class SMCFanRepositoryProfileTests : public ::testing::TestWithParam<std::string> {};

TEST_P(SMCFanRepositoryProfileTests, ReadsAndChecksTheFans) {
    const auto profile = virtualmac::MachineProfile::named(GetParam());
    const auto expected = expectation(profile.name);
    testsupport::ScopedSimulatedSMC smc(profile.smc);
    // The same code serves the helper's connection and the application's reader.
    const std::vector<std::shared_ptr<smc::SMCKeyReading>> readers = {
        std::make_shared<smc::SMCConnection>(), NativeSMCFactory::connection()};
    for (const auto& reader : readers) {
        SMCFanRepository repository(reader, std::nullopt);
        EXPECT_EQ(repository.controlMechanism(), expected.mechanism);

        const auto fans = repository.readFans(true);
        ASSERT_EQ(fans.size(), profile.smc.fans.size());
        for (std::size_t id = 0; id < fans.size(); ++id) {
            EXPECT_EQ(fans[id].id, static_cast<std::int64_t>(id));
            EXPECT_EQ(fans[id].actualRPM, smc->actualSpeed(id));
            EXPECT_EQ(fans[id].targetRPM, smc->targetSpeed(id));
            EXPECT_EQ(fans[id].minimumRPM, profile.smc.fans[id].minimumRPM);
            EXPECT_EQ(fans[id].maximumRPM, profile.smc.fans[id].maximumRPM);
            EXPECT_EQ(fans[id].mode,
                      expected.mechanism ? FanControlMode::automatic : FanControlMode::unknown);
        }

        if (expected.controlError.empty()) {
            EXPECT_EQ(repository.validateControlSupport(), fans);
        } else {
            try {
                repository.validateControlSupport();
                ADD_FAILURE() << "the control check passed";
            } catch (const SMCReadValidationError& error) {
                EXPECT_EQ(error.description(), expected.controlError);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Profiles, SMCFanRepositoryProfileTests,
                         ::testing::ValuesIn(profilesWithSMC()), [](const auto& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

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
