#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "VentrellaShared/FanTargetPlanner.h"
#include "VentrellaShared/FanTargetPlannerError.h"
#include "VentrellaShared/FanTargetVerifier.h"

namespace ventrella::shared {
namespace {

using Mode = FanTargetPlanningMode;
constexpr auto acquire = Mode::initialAutomaticAcquisition;
constexpr auto owned = Mode::ownedAdjustment;

FanInfo fan(std::int64_t id, double actual, double target = 1500, double minimum = 1200,
            double maximum = 6000, FanControlMode mode = FanControlMode::automatic) {
    return FanInfo{id, actual, minimum, maximum, target, mode};
}

FanInfo manualFan(std::int64_t id, double target, double minimum = 1200, double maximum = 6000) {
    return FanInfo{id, target, minimum, maximum, target, FanControlMode::manual};
}

FanTargetPlannerError planningError(const std::vector<FanInfo>& fans, std::int64_t percentage,
                                    Mode mode = acquire) {
    try {
        FanTargetPlanner::targets(fans, percentage, mode);
    } catch (const FanTargetPlannerError& error) {
        return error;
    }
    ADD_FAILURE() << "planning succeeded";
    return FanTargetPlannerError::noFans();
}

TEST(FanTargetPlanner, PlansTheExamplesOfBothModes) {
    EXPECT_EQ(FanTargetPlanner::targets({fan(0, 1500)}, 40, acquire), (FanTargets{{0, 3120}}));
    EXPECT_EQ(FanTargetPlanner::targets({fan(0, 1500)}, 40, owned), (FanTargets{{0, 3120}}));
    // Taking control never slows a fan that already runs faster.
    EXPECT_EQ(FanTargetPlanner::targets({fan(0, 3500)}, 40, acquire), (FanTargets{{0, 3500}}));
    EXPECT_EQ(FanTargetPlanner::targets({fan(0, 3500)}, 40, owned), (FanTargets{{0, 3120}}));
    // A tachometer slightly above the maximum is capped, not refused.
    EXPECT_EQ(FanTargetPlanner::targets({fan(0, 6090)}, 40, acquire), (FanTargets{{0, 6000}}));
    EXPECT_EQ(FanTargetPlanner::targets({fan(0, 1500), fan(3, 0, 0, 0, 5000)}, 100, acquire),
              (FanTargets{{0, 6000}, {3, 5000}}));
}

TEST(FanTargetPlanner, RoundsUpAndStaysWithinAFractionalMaximum) {
    // desired = 1000.5 + 4999 * 40 / 100 = 3000.1
    EXPECT_EQ(FanTargetPlanner::targets({fan(0, 1500, 1500, 1000.5, 5999.5)}, 40, owned),
              (FanTargets{{0, 3001}}));
    // At 100 % the ceiling of 5999.5 would lie above the maximum and never verify.
    auto plan = FanTargetPlanner::targets({fan(0, 1500, 1500, 1200, 5999.5)}, 100, owned);
    EXPECT_EQ(plan, (FanTargets{{0, 5999}}));
    FanInfo readBack = manualFan(0, 5999, 1200, 5999.5);
    EXPECT_TRUE(FanTargetVerifier::matches({readBack}, plan));
    // Floor taken from a fractional actual speed in acquisition.
    EXPECT_EQ(FanTargetPlanner::targets({fan(0, 5999.2, 1500, 1200, 5999.5)}, 40, acquire),
              (FanTargets{{0, 5999}}));
}

TEST(FanTargetPlanner, ChecksInOrder) {
    using Error = FanTargetPlannerError;
    FanInfo broken = fan(0, 1500, 1500, 6000, 6000);
    // The percentage comes first, whatever the fans.
    EXPECT_EQ(planningError({}, 39), Error::invalidPercentage());
    EXPECT_EQ(planningError({fan(0, 1500)}, 101), Error::invalidPercentage());
    EXPECT_EQ(planningError({fan(0, 1500)}, std::numeric_limits<std::int64_t>::min()),
              Error::invalidPercentage());
    EXPECT_EQ(planningError({fan(0, 1500)}, 4294967336), Error::invalidPercentage());
    EXPECT_EQ(planningError({}, 40), Error::noFans());
    // Duplicates before limits.
    EXPECT_EQ(planningError({broken, broken}, 40), Error::duplicateFanID());
    // Fans in list order: the first failing fan reports.
    EXPECT_EQ(planningError({fan(2, 1500), fan(1, 6200), broken}, 40, owned),
              Error::existingCoolingOutsideLimits(1));
    EXPECT_EQ(planningError({fan(2, 1500), broken, fan(1, 6200)}, 40, owned),
              Error::invalidLimits(0));
}

TEST(FanTargetPlanner, RefusesImplausibleLimits) {
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<FanInfo> invalid = {
        fan(7, 1500, 1500, 6000, 6000),      // minimum equals maximum
        fan(7, 1500, 1500, 6000, 1200),      // minimum above maximum
        fan(7, 1500, 1500, -1, 6000),        // negative minimum
        fan(7, 1500, 1500, 1200, 100000.5),  // implausible maximum
        fan(7, -1, 1500),                    // negative actual
        fan(7, 1500, -1),                    // negative target
        fan(7, nan, 1500),
        fan(7, 1500, inf),
        fan(7, 1500, 1500, nan, 6000),
        fan(7, 1500, 1500, 1200, inf),
        fan(7, 1500, 1500, 1200.2, 1200.8),  // no whole number between the limits
    };
    for (const FanInfo& bad : invalid) {
        EXPECT_EQ(planningError({bad}, 60), FanTargetPlannerError::invalidLimits(7))
            << bad.minimumRPM << ".." << bad.maximumRPM;
    }
    // The current target may lie below the minimum (a stopped fan), and a tiny band still plans.
    EXPECT_EQ(FanTargetPlanner::targets({fan(7, 0, 0)}, 40, acquire), (FanTargets{{7, 3120}}));
    EXPECT_EQ(FanTargetPlanner::targets({fan(7, 0, 0, 1200.2, 1201)}, 40, owned),
              (FanTargets{{7, 1201}}));
    EXPECT_EQ(FanTargetPlanner::targets({fan(7, 0, 0, 0, 100000)}, 100, owned),
              (FanTargets{{7, 100000}}));
}

TEST(FanTargetPlanner, RefusesFansAlreadyAboveTheirMaximum) {
    EXPECT_EQ(planningError({fan(4, 6101)}, 40),
              FanTargetPlannerError::existingCoolingOutsideLimits(4));
    EXPECT_EQ(planningError({fan(4, 1500, 6000.5)}, 40),
              FanTargetPlannerError::existingCoolingOutsideLimits(4));
    EXPECT_NO_THROW(FanTargetPlanner::targets({fan(4, 6100, 6000)}, 40, acquire));
}

TEST(FanTargetPlannerError, DescribesEachCase) {
    EXPECT_STREQ(FanTargetPlannerError::invalidLimits(12).what(), "Fan 12 has invalid RPM limits.");
    EXPECT_STREQ(FanTargetPlannerError::existingCoolingOutsideLimits(-3).what(),
                 "Fan -3 is currently running above its reported maximum; control cannot be "
                 "applied safely.");
    EXPECT_STREQ(FanTargetPlannerError::invalidPercentage().what(),
                 "Fan percentage must be between 40 and 100.");
    EXPECT_STREQ(FanTargetPlannerError::noFans().what(), "No controllable fan was found.");
    EXPECT_STREQ(FanTargetPlannerError::duplicateFanID().what(),
                 "A duplicate fan identifier was detected.");
    EXPECT_NE(FanTargetPlannerError::invalidLimits(1), FanTargetPlannerError::invalidLimits(2));
}

TEST(FanTargetVerifier, MatchesWithinOneRPM) {
    const FanTargets expected{{0, 3120}, {1, 4000}};
    EXPECT_TRUE(FanTargetVerifier::matches({manualFan(0, 3121), manualFan(1, 3999)}, expected));
    EXPECT_TRUE(FanTargetVerifier::matches({manualFan(1, 4000), manualFan(0, 3120)}, expected));
    EXPECT_FALSE(FanTargetVerifier::matches({manualFan(0, 3121.5), manualFan(1, 4000)}, expected));
    EXPECT_FALSE(FanTargetVerifier::matches({}, {}));
}

TEST(FanTargetVerifier, RefusesReadBacksThatDoNotCarryTheTargets) {
    const FanTargets expected{{0, 3120}, {1, 4000}};
    FanInfo unknown = manualFan(1, 4000);
    unknown.mode = FanControlMode::unknown;
    FanInfo automatic = manualFan(1, 4000);
    automatic.mode = FanControlMode::automatic;
    const std::vector<std::vector<FanInfo>> readBacks = {
        {manualFan(0, 3120), unknown},
        {manualFan(0, 3120), automatic},
        {manualFan(0, 3120)},                                       // fewer fans
        {manualFan(0, 3120), manualFan(2, 4000)},                   // other ids
        {manualFan(0, 3120), manualFan(0, 3120)},                   // duplicate ids
        {manualFan(0, 3120), manualFan(1, 4000), manualFan(2, 1)},  // more fans
        {manualFan(0, 3120), manualFan(1, 4000, 4500, 6000)},       // target below minimum
    };
    for (const auto& fans : readBacks) {
        EXPECT_FALSE(FanTargetVerifier::matches(fans, expected)) << fans.size();
    }
    // An expected target outside the read-back limits never matches, even if the fan carries it.
    EXPECT_FALSE(FanTargetVerifier::matches({manualFan(0, 6000, 1200, 6000)}, {{0, 6001}}));
}

TEST(FanTargetVerifier, KeepsReadBackTargetsRoundedHalfAwayFromZero) {
    EXPECT_EQ(FanTargetVerifier::verifiedTargets({manualFan(0, 3120.5), manualFan(1, 3120.49)}),
              (FanTargets{{0, 3121}, {1, 3120}}));
    FanInfo automatic = manualFan(1, 3120);
    automatic.mode = FanControlMode::automatic;
    EXPECT_FALSE(FanTargetVerifier::verifiedTargets({manualFan(0, 3120), automatic}));
    EXPECT_FALSE(FanTargetVerifier::verifiedTargets({}));
    EXPECT_FALSE(FanTargetVerifier::verifiedTargets({manualFan(0, 3120), manualFan(0, 3120)}));
    EXPECT_FALSE(FanTargetVerifier::verifiedTargets({manualFan(0, 7000)}));
}

TEST(FanTargetVerifier, RoundsDisplaySpeeds) {
    FanInfo probe = fan(0, 1500.5, 2500.5);
    EXPECT_EQ(FanTargetVerifier::roundedTargetRPM(probe), 2501);
    EXPECT_EQ(FanTargetVerifier::roundedActualRPM(probe), 1501);
    probe.targetRPM = 1000;  // below the minimum: not a valid target, whatever the mode
    EXPECT_FALSE(FanTargetVerifier::roundedTargetRPM(probe));

    for (double actual : {-1.0, std::nan(""), 100000.5, std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(FanTargetVerifier::roundedActualRPM(fan(0, actual))) << actual;
    }
    EXPECT_EQ(FanTargetVerifier::roundedActualRPM(fan(0, -0.0)), 0);
    EXPECT_EQ(FanTargetVerifier::roundedActualRPM(fan(0, 100000)), 100000);
}

}  // namespace
}  // namespace ventrella::shared
