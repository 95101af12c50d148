#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "Support/CallLog.h"
#include "Support/FakeFanHardware.h"
#include "Support/FakeMarkerStore.h"
#include "Support/FakeWatchdog.h"
#include "Support/VirtualClock.h"
#include "VentrellaShared/FanControlEngine.h"
#include "VentrellaShared/FanControlEngineError.h"
#include "VentrellaShared/FanTargetPlannerError.h"

namespace ventrella::shared {
namespace {

using fakes::CallLog;
using fakes::FakeFanHardware;
using fakes::FakeMarkerStore;
using fakes::FakeWatchdog;
using fakes::VirtualClock;
using ::testing::ElementsAre;
using Calls = std::vector<std::string>;

// An SMC-like error with a payload, to see that errors pass through as the original object.
struct HardwareFault : std::runtime_error {
    HardwareFault(const std::string& text, int code) : std::runtime_error(text), code(code) {}
    int code;
};

constexpr double budget = FanControlEngine::defaultOperationBudget;

std::vector<FanInfo> automaticFans() {
    return {
        FanInfo{0, 1500, 1200, 6000, 1500, FanControlMode::automatic},
        FanInfo{1, 1200, 1000, 5000, 1200, FanControlMode::automatic},
    };
}

// At 60 %: fan 0 plans 1200 + 4800 * 0.6 = 4080, fan 1 plans 1000 + 4000 * 0.6 = 3400.
const Calls firstApplyAt60 = {
    "hardware.validateControlSupport",
    "hardware.readFans",
    "marker.mark(60)",
    "watchdog.arm",
    "hardware.enableManualMode(0)",
    "hardware.writeTargetRPM(0,4080)",
    "hardware.enableManualMode(1)",
    "hardware.writeTargetRPM(1,3400)",
    "hardware.verifyManualTargets",
};
const Calls restoreCalls = {"watchdog.cancel", "hardware.restoreAutomatic", "marker.clear"};

Calls concat(Calls first, const Calls& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class FanControlEngineTest : public ::testing::Test {
  protected:
    std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
    VirtualClock clock{1000.0, log};
    std::shared_ptr<FakeFanHardware> hardware =
        std::make_shared<FakeFanHardware>(log, automaticFans());
    std::shared_ptr<FakeMarkerStore> marker = std::make_shared<FakeMarkerStore>(log);
    std::shared_ptr<FakeWatchdog> watchdog = std::make_shared<FakeWatchdog>(log);
    FanControlEngine engine{hardware, marker, watchdog, clock.nowFunction(), clock.waitFunction()};

    const Calls& calls() const { return log->entries(); }

    void own(std::int64_t percentage) {
        engine.applyCooling(percentage, budget);
        log->clear();
    }

    template <class Error>
    Error thrownBy(const std::function<void()>& operation) {
        try {
            operation();
        } catch (const Error& error) {
            return error;
        }
        throw std::logic_error("the expected error was not thrown");
    }
};

TEST_F(FanControlEngineTest, FirstApplyMarksArmsWritesAndVerifies) {
    auto result = engine.applyCooling(60, budget);

    EXPECT_EQ(calls(), firstApplyAt60);
    EXPECT_EQ(result.state, HelperControlState::manual);
    EXPECT_EQ(result.appliedPercentage, 60);
    EXPECT_EQ(result.fans, hardware->fans);
    EXPECT_EQ(result.fans.at(0).targetRPM, 4080);
    EXPECT_EQ(engine.activePercentage(), 60);
    EXPECT_EQ(engine.activeTargets(), (FanTargets{{0, 4080}, {1, 3400}}));
    EXPECT_EQ(marker->percentage, 60);
    EXPECT_TRUE(watchdog->armed);
}

TEST_F(FanControlEngineTest, RemembersTargetsAsReadBack) {
    auto readBack = automaticFans();
    readBack[0] = {0, 1500, 1200, 6000, 4080.6, FanControlMode::manual};
    readBack[1] = {1, 1200, 1000, 5000, 3399.5, FanControlMode::manual};
    hardware->scriptNextRead("verifyManualTargets", readBack);

    auto result = engine.applyCooling(60, budget);

    EXPECT_EQ(result.fans, readBack);
    EXPECT_EQ(engine.activeTargets(), (FanTargets{{0, 4081}, {1, 3400}}));
}

TEST_F(FanControlEngineTest, RenewalOnlyArmsTheWatchdog) {
    own(60);
    auto result = engine.applyCooling(60, budget);

    EXPECT_THAT(calls(), ElementsAre("hardware.validateControlSupport", "hardware.readFans",
                                     "watchdog.arm"));
    EXPECT_EQ(result.state, HelperControlState::manual);
    EXPECT_EQ(result.appliedPercentage, 60);
    EXPECT_EQ(result.fans, hardware->fans);
}

TEST_F(FanControlEngineTest, NewPercentageWhileOwningPlansWithoutTheSpeedFloor) {
    own(80);
    // Fan 0 now runs at its 80 % speed; taking control afresh would keep it there.
    hardware->fans[0].actualRPM = 5040;
    auto result = engine.applyCooling(60, budget);

    EXPECT_EQ(calls(), firstApplyAt60);
    EXPECT_EQ(result.appliedPercentage, 60);
    EXPECT_EQ(marker->percentage, 60);
    EXPECT_EQ(engine.activePercentage(), 60);
}

TEST_F(FanControlEngineTest, MismatchWhileMarkedRestoresInsteadOfWriting) {
    own(60);
    hardware->fans[1].targetRPM = 2000;  // someone else changed our target
    auto result = engine.applyCooling(60, budget);

    EXPECT_EQ(calls(),
              concat({"hardware.validateControlSupport", "hardware.readFans"}, restoreCalls));
    EXPECT_EQ(result.state, HelperControlState::automatic);
    EXPECT_FALSE(result.appliedPercentage);
    EXPECT_FALSE(engine.activePercentage());
    EXPECT_FALSE(engine.activeTargets());
    EXPECT_FALSE(marker->marked);
}

TEST_F(FanControlEngineTest, MarkerLeftByAnEarlierRunRestoresFirst) {
    marker->marked = true;
    auto result = engine.applyCooling(60, budget);

    EXPECT_EQ(calls(),
              concat({"hardware.validateControlSupport", "hardware.readFans"}, restoreCalls));
    EXPECT_EQ(result.state, HelperControlState::automatic);
    EXPECT_FALSE(marker->marked);
}

TEST_F(FanControlEngineTest, FailedRestoreOnMismatchArmsTheWatchdog) {
    marker->marked = true;
    hardware->failNext("restoreAutomatic", HardwareFault("restore refused", 5));

    EXPECT_THROW(engine.applyCooling(60, budget), HardwareFault);
    EXPECT_THAT(calls(),
                ElementsAre("hardware.validateControlSupport", "hardware.readFans",
                            "watchdog.cancel", "hardware.restoreAutomatic", "watchdog.arm"));
}

TEST_F(FanControlEngineTest, ExternalManualControlWritesNothing) {
    hardware->fans[1].mode = FanControlMode::unknown;

    EXPECT_EQ(thrownBy<FanControlEngineError>([&] { engine.applyCooling(60, budget); }),
              FanControlEngineError::externalManualControl());
    EXPECT_THAT(calls(), ElementsAre("hardware.validateControlSupport", "hardware.readFans"));
}

TEST_F(FanControlEngineTest, EarlyFailuresTouchNothingElse) {
    hardware->fans[1].maximumRPM = 100001;
    EXPECT_EQ(thrownBy<FanTargetPlannerError>([&] { engine.applyCooling(60, budget); }),
              FanTargetPlannerError::invalidLimits(1));
    hardware->fans[1].maximumRPM = 5000;
    EXPECT_EQ(thrownBy<FanTargetPlannerError>([&] { engine.applyCooling(101, budget); }),
              FanTargetPlannerError::invalidPercentage());
    hardware->failNext("validateControlSupport", HardwareFault("no fan control", 1));
    EXPECT_THROW(engine.applyCooling(60, budget), HardwareFault);
    hardware->failNext("readFans", HardwareFault("read failed", 2));
    EXPECT_THROW(engine.applyCooling(60, budget), HardwareFault);

    EXPECT_EQ(calls(), (Calls{"hardware.validateControlSupport", "hardware.readFans",
                              "hardware.validateControlSupport", "hardware.readFans",
                              "hardware.validateControlSupport", "hardware.validateControlSupport",
                              "hardware.readFans"}));
    EXPECT_FALSE(engine.activePercentage());
}

TEST_F(FanControlEngineTest, MarkFailurePropagatesWithoutRollback) {
    marker->failNextMark(HardwareFault("disk full", 28));
    auto fault = thrownBy<HardwareFault>([&] { engine.applyCooling(60, budget); });
    EXPECT_EQ(fault.code, 28);
    EXPECT_THAT(calls(), ElementsAre("hardware.validateControlSupport", "hardware.readFans",
                                     "marker.mark(60)"));

    // With a marker already present the watchdog must cover the fans we own.
    marker->marked = false;
    own(60);
    marker->failNextMark(HardwareFault("disk full", 28));
    EXPECT_THROW(engine.applyCooling(80, budget), HardwareFault);
    EXPECT_THAT(calls(), ElementsAre("hardware.validateControlSupport", "hardware.readFans",
                                     "marker.mark(80)", "watchdog.arm"));
    EXPECT_EQ(engine.activePercentage(), 60);
}

TEST_F(FanControlEngineTest, DeadlinePassingMidWriteRollsBack) {
    hardware->onCall = [&](const std::string& call) {
        if (call == "hardware.enableManualMode(0)") {
            clock.advance(budget + 0.001);
        }
    };

    EXPECT_EQ(thrownBy<FanControlEngineError>([&] { engine.applyCooling(60, budget); }),
              FanControlEngineError::operationTimedOut());
    EXPECT_EQ(calls(), concat({"hardware.validateControlSupport", "hardware.readFans",
                               "marker.mark(60)", "watchdog.arm", "hardware.enableManualMode(0)"},
                              restoreCalls));
    EXPECT_FALSE(marker->marked);
    EXPECT_FALSE(watchdog->armed);
    EXPECT_FALSE(engine.activePercentage());
}

TEST_F(FanControlEngineTest, DeadlineIsInclusive) {
    hardware->onCall = [&](const std::string& call) {
        if (call == "hardware.enableManualMode(0)") {
            clock.advance(budget);
        }
    };
    EXPECT_EQ(engine.applyCooling(60, budget).appliedPercentage, 60);
}

TEST_F(FanControlEngineTest, WriteErrorPropagatesUnchangedAfterRollback) {
    hardware->failNext("writeTargetRPM", HardwareFault("write refused", 0x84));

    auto fault = thrownBy<HardwareFault>([&] { engine.applyCooling(60, budget); });
    EXPECT_EQ(fault.code, 0x84);
    EXPECT_EQ(calls(), concat({"hardware.validateControlSupport", "hardware.readFans",
                               "marker.mark(60)", "watchdog.arm", "hardware.enableManualMode(0)",
                               "hardware.writeTargetRPM(0,4080)"},
                              restoreCalls));
}

TEST_F(FanControlEngineTest, WriteErrorWithFailedRestoreComposesBothTexts) {
    hardware->failNext("writeTargetRPM", HardwareFault("write refused", 1));
    hardware->failNext("restoreAutomatic", HardwareFault("restore refused", 2));

    auto error = thrownBy<FanControlEngineError>([&] { engine.applyCooling(60, budget); });
    EXPECT_EQ(error, FanControlEngineError::rollbackFailed("write refused", "restore refused"));
    EXPECT_STREQ(error.what(),
                 "write refused failed to return to Automatic; the watchdog will retry: "
                 "restore refused");
    EXPECT_EQ(calls(), (Calls{"hardware.validateControlSupport", "hardware.readFans",
                              "marker.mark(60)", "watchdog.arm", "hardware.enableManualMode(0)",
                              "hardware.writeTargetRPM(0,4080)", "watchdog.cancel",
                              "hardware.restoreAutomatic", "watchdog.arm"}));
    EXPECT_TRUE(marker->marked);
    EXPECT_TRUE(watchdog->armed);
}

TEST_F(FanControlEngineTest, ErrorsOutsideTheStandardHierarchyStillRollBack) {
    hardware->failNext("enableManualMode", std::make_exception_ptr(42));
    EXPECT_THROW(engine.applyCooling(60, budget), int);
    EXPECT_FALSE(marker->marked);

    hardware->failNext("enableManualMode", std::make_exception_ptr(42));
    hardware->failNext("restoreAutomatic", std::make_exception_ptr(std::string("odd")));
    EXPECT_EQ(thrownBy<FanControlEngineError>([&] { engine.applyCooling(60, budget); }),
              FanControlEngineError::rollbackFailed("An unknown error occurred.",
                                                    "An unknown error occurred."));
    EXPECT_TRUE(watchdog->armed);
}

TEST_F(FanControlEngineTest, VerificationThatNeverMatchesReadsFiveTimes) {
    hardware->followWrites = false;

    EXPECT_EQ(thrownBy<FanControlEngineError>([&] { engine.applyCooling(60, budget); }),
              FanControlEngineError::manualVerificationFailed());
    Calls expected = firstApplyAt60;
    for (int pause = 0; pause < 4; ++pause) {
        expected.insert(expected.end(), {"clock.wait(0.1)", "hardware.verifyManualTargets"});
    }
    EXPECT_EQ(calls(), concat(expected, restoreCalls));
    EXPECT_FALSE(engine.activePercentage());
}

TEST_F(FanControlEngineTest, VerificationRetriesUntilTheFansSettle) {
    auto unsettled = automaticFans();
    hardware->scriptNextRead("verifyManualTargets", unsettled);
    hardware->scriptNextRead("verifyManualTargets", unsettled);

    auto result = engine.applyCooling(60, budget);
    EXPECT_EQ(result.state, HelperControlState::manual);
    EXPECT_THAT(Calls(calls().end() - 5, calls().end()),
                ElementsAre("hardware.verifyManualTargets", "clock.wait(0.1)",
                            "hardware.verifyManualTargets", "clock.wait(0.1)",
                            "hardware.verifyManualTargets"));
}

TEST_F(FanControlEngineTest, VerificationStopsAtTheDeadline) {
    hardware->followWrites = false;
    hardware->onCall = [&](const std::string& call) {
        if (call == "hardware.verifyManualTargets") {
            clock.advance(budget);
        }
    };
    EXPECT_EQ(thrownBy<FanControlEngineError>([&] { engine.applyCooling(60, budget); }),
              FanControlEngineError::operationTimedOut());
    EXPECT_EQ(calls(), concat(concat(firstApplyAt60, {"clock.wait(0.1)"}), restoreCalls));
}

TEST_F(FanControlEngineTest, PrepareTakeoverRestoresWaitsAndChecks) {
    for (auto& fan : hardware->fans) {
        fan.mode = FanControlMode::manual;  // left behind by another program
    }
    auto result = engine.prepareTakeover(budget);

    EXPECT_EQ(calls(), concat(concat({"hardware.validateControlSupport"}, restoreCalls),
                              {"clock.wait(1.5)", "hardware.readFans"}));
    EXPECT_EQ(result.state, HelperControlState::automatic);
    EXPECT_FALSE(result.appliedPercentage);
    EXPECT_EQ(result.fans, automaticFans());
}

TEST_F(FanControlEngineTest, PrepareTakeoverFailsWhenTheFansDoNotStay) {
    hardware->onCall = [&](const std::string& call) {
        if (call == "hardware.readFans") {
            hardware->fans[1].mode = FanControlMode::manual;
        }
    };
    EXPECT_EQ(thrownBy<FanControlEngineError>([&] { engine.prepareTakeover(budget); }),
              FanControlEngineError::takeoverNotStable());

    hardware->onCall = nullptr;
    hardware->fans.clear();
    EXPECT_EQ(thrownBy<FanControlEngineError>([&] { engine.prepareTakeover(budget); }),
              FanControlEngineError::takeoverNotStable());

    // The budget counts from before the restore.
    hardware->fans = automaticFans();
    hardware->onCall = [&](const std::string& call) {
        if (call == "hardware.restoreAutomatic") {
            clock.advance(budget - 1);
        }
    };
    log->clear();
    EXPECT_EQ(thrownBy<FanControlEngineError>([&] { engine.prepareTakeover(budget); }),
              FanControlEngineError::operationTimedOut());
    EXPECT_EQ(calls().back(), "clock.wait(1.5)");
}

TEST_F(FanControlEngineTest, RestoreThatLeavesAManualFanKeepsTheMarker) {
    own(60);
    auto stillManual = automaticFans();
    stillManual[1].mode = FanControlMode::manual;
    hardware->scriptNextRead("restoreAutomatic", stillManual);

    EXPECT_EQ(thrownBy<FanControlEngineError>([&] { engine.restoreAutomatic(); }),
              FanControlEngineError::automaticVerificationFailed());
    EXPECT_THAT(calls(),
                ElementsAre("watchdog.cancel", "hardware.restoreAutomatic", "watchdog.arm"));
    EXPECT_TRUE(marker->marked);
    EXPECT_EQ(engine.activePercentage(), 60);

    // A clear that fails leaves the marker, so the watchdog stays on.
    log->clear();
    marker->failNextClear(HardwareFault("read-only", 30));
    EXPECT_THROW(engine.restoreAutomatic(), HardwareFault);
    EXPECT_THAT(calls(), ElementsAre("watchdog.cancel", "hardware.restoreAutomatic", "marker.clear",
                                     "watchdog.arm"));
    EXPECT_TRUE(engine.activeTargets());
}

TEST_F(FanControlEngineTest, FailedRestoreWithoutMarkerLeavesTheWatchdogOff) {
    hardware->failNext("restoreAutomatic", HardwareFault("restore refused", 2));
    EXPECT_THROW(engine.restoreAutomatic(), HardwareFault);
    EXPECT_THAT(calls(), ElementsAre("watchdog.cancel", "hardware.restoreAutomatic"));
    EXPECT_FALSE(watchdog->armed);
}

TEST_F(FanControlEngineTest, StatusReadsOnly) {
    own(60);
    hardware->fans[0].mode = FanControlMode::automatic;
    hardware->fans[1].mode = FanControlMode::unknown;
    auto status = engine.status();
    EXPECT_EQ(status.state, HelperControlState::manual);
    EXPECT_EQ(status.activePercentage, 60);
    EXPECT_THAT(calls(), ElementsAre("hardware.readFans"));

    hardware->fans.clear();
    EXPECT_EQ(engine.status().state, HelperControlState::automatic);
}

TEST(FanControlEngineError, DescribesEachCase) {
    EXPECT_STREQ(FanControlEngineError::externalManualControl().what(),
                 "The fans are being controlled manually by another app.");
    EXPECT_STREQ(FanControlEngineError::operationTimedOut().what(),
                 "The fan-control operation exceeded its safe time limit.");
    EXPECT_STREQ(FanControlEngineError::manualVerificationFailed().what(),
                 "The manual target could not be verified on every fan.");
    EXPECT_STREQ(FanControlEngineError::automaticVerificationFailed().what(),
                 "Apple Automatic could not be verified on every fan.");
    EXPECT_STREQ(FanControlEngineError::takeoverNotStable().what(),
                 "Control could not be taken over because another app reclaimed fan control.");
    EXPECT_NE(FanControlEngineError::rollbackFailed("a", "b"),
              FanControlEngineError::rollbackFailed("a", "c"));
}

}  // namespace
}  // namespace ventrella::shared
