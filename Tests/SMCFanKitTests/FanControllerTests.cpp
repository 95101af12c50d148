#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "AppLog/LogBackend.h"
#include "Platform/IOKit/InProcessBackend.h"
#include "Platform/VirtualMac/SimulatedSMC.h"
#include "SMCFanKit/FanController.h"
#include "SMCFanKit/SMCHardwareConfig.h"
#include "SMCKit/SMCConnection.h"
#include "SMCKit/SMCError.h"
#include "Support/ScopedCapturingLogBackend.h"

namespace ventrella::fan {
namespace {

using smc::SMCError;
using smc::SMCResultCode;
using virtualmac::SimulatedSMC;
using virtualmac::SimulatedSMCConfiguration;
using ModeKeys = SimulatedSMCConfiguration::ModeKeys;

// A simulated Mac with an open connection, virtual time and a record of every wait.
class FanControllerTest : public ::testing::Test {
  protected:
    void start(SimulatedSMCConfiguration configuration) {
        device = std::make_shared<SimulatedSMC>(std::move(configuration));
        guard = std::make_unique<platform::iokit::ScopedInProcessDevice>(device);
        connection = std::make_shared<smc::SMCConnection>();
        logs.clear();
    }

    static SimulatedSMCConfiguration gated(ModeKeys modeKeys = ModeKeys::lowerCase,
                                           std::size_t fans = 2) {
        SimulatedSMCConfiguration configuration;
        configuration.fans.resize(fans);
        configuration.modeKeys = modeKeys;
        configuration.hasForceTest = true;
        configuration.forceTestGatesModeWrites = true;
        return configuration;
    }

    FanController controller() { return FanController(connection, clock(), sleeper()); }
    FanController controller(SMCHardwareConfig config) {
        return FanController(connection, std::move(config), clock(), sleeper());
    }

    FanController::Clock clock() {
        return [this] { return now; };
    }
    FanController::Sleeper sleeper() {
        return [this](double seconds) {
            sleeps.push_back(seconds);
            now += seconds;
            if (onSleep) {
                onSleep(sleeps.size());
            }
        };
    }

    // The keys written, in order.
    std::vector<std::string> writtenKeys() const {
        std::vector<std::string> keys;
        for (const auto& entry : device->journal()) {
            if (entry.command == 6) {
                keys.push_back(entry.key);
            }
        }
        return keys;
    }

    std::vector<std::string> fanControlLines() const { return logs.texts("FanControl"); }
    // The same lines with their levels; the connection's own lines are left out.
    std::vector<testsupport::CapturedLogLine> fanControlRecords() const {
        std::vector<testsupport::CapturedLogLine> records;
        for (const auto& line : logs.lines()) {
            if (line.category == "FanControl") {
                records.push_back(line);
            }
        }
        return records;
    }

    template <typename Call>
    static SMCError errorOf(Call call) {
        try {
            call();
        } catch (const SMCError& error) {
            return error;
        }
        ADD_FAILURE() << "no SMCError thrown";
        return SMCError::notOpen();
    }

    testsupport::ScopedCapturingLogBackend logs;
    std::shared_ptr<SimulatedSMC> device;
    std::unique_ptr<platform::iokit::ScopedInProcessDevice> guard;
    std::shared_ptr<smc::SMCConnection> connection;
    double now = 100.0;
    std::vector<double> sleeps;
    std::function<void(std::size_t)> onSleep;
};

TEST_F(FanControllerTest, DetectsTheLowerCaseModeKeyWithoutProbingFurther) {
    SimulatedSMCConfiguration configuration;
    configuration.modeKeys = ModeKeys::lowerCase;
    start(configuration);
    EXPECT_EQ(SMCHardwareConfig::detectHardwareKeys(*connection),
              (SMCHardwareConfig{"F%dmd", false}));
    EXPECT_EQ(fanControlLines(), (std::vector<std::string>{
                                     "hw.probe.modeKey key=F0md found=true size=1 format=F%dmd",
                                     "hw.probe.ftst found=false",
                                     "hw.detected modeKeyFormat=F%dmd ftstAvailable=false",
                                 }));
    for (const auto& entry : device->journal()) {
        EXPECT_NE(entry.key, "F0Md");
    }
}

TEST_F(FanControllerTest, DetectsTheUpperCaseModeKeyAndFtst) {
    start(gated(ModeKeys::upperCase));
    EXPECT_EQ(SMCHardwareConfig::detectHardwareKeys(*connection),
              (SMCHardwareConfig{"F%dMd", true}));
    EXPECT_EQ(fanControlLines(), (std::vector<std::string>{
                                     "hw.probe.modeKey key=F0md found=false",
                                     "hw.probe.modeKey key=F0Md found=true size=1 format=F%dMd",
                                     "hw.probe.ftst found=true size=1",
                                     "hw.detected modeKeyFormat=F%dMd ftstAvailable=true",
                                 }));
}

TEST_F(FanControllerTest, FallsBackToLowerCaseAndTreatsEmptyKeysAsAbsent) {
    auto configuration = gated(ModeKeys::legacyMask);
    start(configuration);
    device->setRawBytes("Ftst", {});
    EXPECT_EQ(SMCHardwareConfig::detectHardwareKeys(*connection),
              (SMCHardwareConfig{"F%dmd", false}));
    EXPECT_EQ(fanControlLines(), (std::vector<std::string>{
                                     "hw.probe.modeKey key=F0md found=false",
                                     "hw.probe.modeKey key=F0Md found=false",
                                     "hw.probe.ftst found=false",
                                     "hw.detected modeKeyFormat=F%dmd ftstAvailable=false",
                                 }));
}

TEST_F(FanControllerTest, EnablesManualModeDirectlyOnTheRequestedFan) {
    SimulatedSMCConfiguration configuration;
    configuration.fans.resize(3);
    configuration.modeKeys = ModeKeys::upperCase;
    start(configuration);
    auto fans = controller();
    logs.clear();
    device->clearJournal();

    EXPECT_EQ(fans.enableManualMode(2), FanControlStrategy::direct);
    EXPECT_TRUE(device->isFanManual(2));
    EXPECT_FALSE(device->isFanManual(0));
    EXPECT_EQ(writtenKeys(), std::vector<std::string>{"F2Md"});
    EXPECT_EQ(fanControlLines(),
              std::vector<std::string>{"fan.manual.enabled fan=2 modeKey=F2Md strategy=direct"});
    EXPECT_TRUE(sleeps.empty());
}

TEST_F(FanControllerTest, WithoutFtstARefusedModeKeyIsNotFound) {
    start(SimulatedSMCConfiguration{});
    device->refuseWrites("F1md");
    auto fans = controller();
    logs.clear();

    auto error = errorOf([&] { fans.enableManualMode(1); });
    EXPECT_EQ(error, SMCError::firmware(SMCResultCode::notFound));
    EXPECT_STREQ(error.what(), "SMC firmware error: notFound (0x84)");
    EXPECT_EQ(fanControlLines(), (std::vector<std::string>{
                                     "fan.manual.direct.failed fan=1 modeKey=F1md "
                                     "ftstAvailable=false",
                                     "fan.manual.failed fan=1 reason=no-ftst",
                                 }));
    auto lines = fanControlRecords();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, applog::LogLevel::debug);
    EXPECT_EQ(lines[1].level, applog::LogLevel::error);
    EXPECT_EQ(lines[1].subsystem, "io.lowmarsh.fan");
    EXPECT_FALSE(device->isFanManual(1));
}

TEST_F(FanControllerTest, GatedModeKeyIsUnlockedThroughFtst) {
    start(gated());
    auto fans = controller();
    logs.clear();
    device->clearJournal();

    EXPECT_EQ(fans.enableManualMode(1), FanControlStrategy::ftstUnlock);
    EXPECT_TRUE(device->isFanManual(1));
    EXPECT_EQ(writtenKeys(), (std::vector<std::string>{"F1md", "Ftst", "F1md"}));
    EXPECT_EQ(sleeps, std::vector<double>{0.5});
    EXPECT_EQ(fanControlLines(), (std::vector<std::string>{
                                     "fan.manual.direct.failed fan=1 modeKey=F1md "
                                     "ftstAvailable=true",
                                     "fan.manual.ftst.start fan=1",
                                     "fan.ftst.write fan=1 value=1",
                                     "fan.ftst.unlocked fan=1 attempts=1 elapsed=0.00s",
                                     "fan.manual.enabled fan=1 strategy=ftstUnlock",
                                 }));
}

TEST_F(FanControllerTest, UnlockSucceedsOnALaterAttempt) {
    start(gated());
    auto fans = controller(SMCHardwareConfig{"F%dmd", true});
    device->refuseWrites("F0md");
    // The mode key starts taking writes after the third retry wait, so attempt 4 succeeds.
    onSleep = [this](std::size_t count) {
        if (count == 4) {
            device->allowWrites("F0md");
        }
    };
    logs.clear();
    device->clearJournal();

    fans.unlockFanControlSync(0, 10, 5.0);
    EXPECT_TRUE(device->isFanManual(0));
    EXPECT_EQ(writtenKeys(), (std::vector<std::string>{"Ftst", "F0md", "F0md", "F0md", "F0md"}));
    EXPECT_EQ(sleeps, (std::vector<double>{0.5, 0.1, 0.1, 0.1}));
    EXPECT_EQ(fanControlLines(), (std::vector<std::string>{
                                     "fan.ftst.write fan=0 value=1",
                                     "fan.ftst.unlocked fan=0 attempts=4 elapsed=0.30s",
                                 }));
}

TEST_F(FanControllerTest, UnlockGivesUpAtTheDeadline) {
    start(gated());
    auto fans = controller(SMCHardwareConfig{"F%dmd", true});
    device->refuseWrites("F0md");
    logs.clear();

    auto error = errorOf([&] { fans.unlockFanControlSync(0, 100, 0.35); });
    EXPECT_EQ(error, SMCError::timeout());
    EXPECT_STREQ(error.what(), "Operation timed out");
    // Attempts at 0.0, 0.1, 0.2, 0.3 fail before the deadline; the one at 0.4 is past it.
    auto lines = fanControlRecords();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].text, "fan.ftst.timeout fan=0 attempts=5 elapsed=0.40s");
    EXPECT_EQ(lines[1].level, applog::LogLevel::error);
    EXPECT_EQ(sleeps.size(), 5u);
}

TEST_F(FanControllerTest, UnlockRunsOutOfAttempts) {
    start(gated());
    auto fans = controller(SMCHardwareConfig{"F%dmd", true});
    device->refuseWrites("F0md");
    logs.clear();
    device->clearJournal();

    EXPECT_EQ(errorOf([&] { fans.unlockFanControlSync(0, 3, 10.0); }), SMCError::timeout());
    EXPECT_EQ(writtenKeys(), (std::vector<std::string>{"Ftst", "F0md", "F0md", "F0md"}));
    EXPECT_EQ(fanControlLines().back(), "fan.ftst.exhausted fan=0 maxRetries=3 elapsed=0.30s");
}

TEST_F(FanControllerTest, UnlockWithoutAttemptsNeverWritesTheModeKey) {
    start(gated());
    auto fans = controller(SMCHardwareConfig{"F%dmd", true});
    for (int retries : {0, -5}) {
        SCOPED_TRACE(retries);
        logs.clear();
        device->clearJournal();
        sleeps.clear();
        EXPECT_EQ(errorOf([&] { fans.unlockFanControlSync(1, retries, 10.0); }),
                  SMCError::timeout());
        EXPECT_EQ(writtenKeys(), std::vector<std::string>{"Ftst"});
        EXPECT_EQ(sleeps, std::vector<double>{0.5});
        // A negative count is treated as no attempts at all.
        EXPECT_EQ(fanControlLines(), (std::vector<std::string>{
                                         "fan.ftst.write fan=1 value=1",
                                         "fan.ftst.exhausted fan=1 maxRetries=0 elapsed=0.00s",
                                     }));
    }
}

TEST_F(FanControllerTest, RefusedFtstWriteEndsTheUnlockAtOnce) {
    start(gated());
    device->refuseWrites("Ftst");
    auto fans = controller();
    logs.clear();

    auto error = errorOf([&] { fans.enableManualMode(0); });
    EXPECT_EQ(error, SMCError::firmware(SMCResultCode::notWritable));
    EXPECT_TRUE(sleeps.empty());
    EXPECT_EQ(fanControlLines().back(), "fan.ftst.write fan=0 value=1");
}

TEST_F(FanControllerTest, AsynchronousUnlockRunsTheSameSteps) {
    start(gated());
    auto fans = controller(SMCHardwareConfig{"F%dmd", true});
    logs.clear();
    fans.unlockFanControl(1, 5, 1.0).get();
    EXPECT_TRUE(device->isFanManual(1));
    EXPECT_EQ(fanControlLines().back(), "fan.ftst.unlocked fan=1 attempts=1 elapsed=0.00s");

    device->refuseWrites("F0md");
    auto pending = fans.unlockFanControl(0, 2, 1.0);
    EXPECT_THROW(
        {
            try {
                pending.get();
            } catch (const SMCError& error) {
                EXPECT_EQ(error, SMCError::timeout());
                throw;
            }
        },
        SMCError);
}

TEST_F(FanControllerTest, ResetWritesZeroToFtst) {
    start(gated());
    auto fans = controller();
    fans.enableManualMode(0);
    ASSERT_TRUE(device->isFanManual(0));
    logs.clear();

    fans.resetFanControl();
    EXPECT_EQ(device->key("Ftst")->bytes, std::vector<std::uint8_t>{0});
    EXPECT_FALSE(device->isFanManual(0));
    auto lines = fanControlRecords();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "fan.ftst.reset value=0");
    EXPECT_EQ(lines[1].text, "fan.control.reset.done");
    EXPECT_EQ(lines[1].level, applog::LogLevel::notice);

    device->refuseWrites("Ftst");
    logs.clear();
    EXPECT_EQ(errorOf([&] { fans.resetFanControl(); }),
              SMCError::firmware(SMCResultCode::notWritable));
    EXPECT_EQ(fanControlLines(), std::vector<std::string>{"fan.ftst.reset value=0"});
}

}  // namespace
}  // namespace ventrella::fan
