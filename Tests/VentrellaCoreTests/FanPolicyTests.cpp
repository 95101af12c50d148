#include "Ventrella/Core/FanPolicy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "Support/ScopedLocalization.h"
#include "Ventrella/Core/GuardSettings.h"

namespace ventrella::core {
namespace {

using testsupport::ScopedLocalization;

const double nan = std::nan("");

struct Step {
    double temperature;
    double now;
    PolicyDecision expected;
};

PolicyDecision stay(int index, const char* reason) {
    return {index, index, false, reason};
}

PolicyDecision move(int from, int to, const char* reason) {
    return {from, to, true, reason};
}

// `count` samples of one temperature, one second apart from `start`, all giving `decision`.
std::vector<Step> repeated(int count, double temperature, double start, PolicyDecision decision) {
    std::vector<Step> steps;
    for (int i = 0; i < count; ++i) {
        steps.push_back({temperature, start + i, decision});
    }
    return steps;
}

std::vector<Step> operator+(std::vector<Step> first, const std::vector<Step>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

class FanPolicyTest : public testing::Test {
  protected:
    ScopedLocalization localization{VENTRELLA_APP_BUNDLE_DIR, AppLanguage::english};
    FanPolicy policy{GuardSettings{}.levels()};

    void run(const std::vector<Step>& steps) {
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const auto& [temperature, now, expected] = steps[i];
            ASSERT_EQ(policy.update(temperature, now), expected)
                << "step " << i << ": " << temperature << " at " << now;
        }
    }

    // Puts the policy in Boost (entered at `at`) with fresh counters.
    void enterBoost(double at) {
        run({{80, at - 2, stay(-1, "automatic")},
             {80, at - 1, stay(-1, "automatic")},
             {80, at, move(-1, 0, "Entered the Boost threshold")}});
    }

    void enterEmergency(double at) {
        run({{90, at, move(policy.currentIndex(), 1, "Entered the Emergency threshold")}});
    }
};

TEST_F(FanPolicyTest, StaysAutomaticBelowTheBoostThreshold) {
    run(repeated(50, 79.9, 0, stay(-1, "automatic")));
    run(repeated(3, nan, 50, stay(-1, "automatic")));
}

TEST_F(FanPolicyTest, EntersBoostAfterItsConsecutiveSamples) {
    run({{80, 0, stay(-1, "automatic")},
         {80, 3, stay(-1, "automatic")},
         {80, 6, move(-1, 0, "Entered the Boost threshold")}});
    EXPECT_EQ(policy.enteredAt(), 6);
    EXPECT_EQ(policy.aboveCounts(), (std::vector<std::int64_t>{0, 0}));
}

TEST_F(FanPolicyTest, ASampleBelowOrNotANumberRestartsTheEnterCount) {
    run({{80, 0, stay(-1, "automatic")},
         {80, 1, stay(-1, "automatic")},
         {79, 2, stay(-1, "automatic")},
         {80, 3, stay(-1, "automatic")},
         {80, 4, stay(-1, "automatic")},
         {nan, 5, stay(-1, "automatic")},
         {80, 6, stay(-1, "automatic")},
         {80, 7, stay(-1, "automatic")},
         {80, 8, move(-1, 0, "Entered the Boost threshold")}});
}

TEST_F(FanPolicyTest, GoesStraightToEmergencyOnItsFirstSample) {
    run({{90, 0, move(-1, 1, "Entered the Emergency threshold")}});
    EXPECT_EQ(policy.aboveCounts(), (std::vector<std::int64_t>{0, 0}));
}

TEST_F(FanPolicyTest, EscalatesEvenWithinTheMinimumHold) {
    enterBoost(100);
    run({{85, 101, stay(0, "minimum hold")},
         {90, 102, move(0, 1, "Entered the Emergency threshold")}});
}

TEST_F(FanPolicyTest, LeavesBoostOnlyAfterTheHoldAndTheExitSamples) {
    enterBoost(100);
    run({{70, 130, stay(0, "minimum hold")}, {70, 159.9, stay(0, "minimum hold")}});
    EXPECT_EQ(policy.belowCount(), 0);  // not counted during the hold
    run(repeated(9, 72, 160, stay(0, "hysteresis")) +
        std::vector<Step>{{72, 169, move(0, -1, "Returned to Apple Automatic")}});
    EXPECT_EQ(policy.enteredAt(), 169);
}

TEST_F(FanPolicyTest, ASampleAboveTheExitTemperatureRestartsTheExitCount) {
    enterBoost(0);
    run(repeated(5, 72, 60, stay(0, "hysteresis")) +
        std::vector<Step>{{73, 65, stay(0, "hysteresis")}} +
        std::vector<Step>{{nan, 66, stay(0, "hysteresis")}} +
        repeated(9, 70, 67, stay(0, "hysteresis")) +
        std::vector<Step>{{70, 76, move(0, -1, "Returned to Apple Automatic")}});
}

TEST_F(FanPolicyTest, StepsDownFromEmergencyToTheLevelTheTemperatureStillNeeds) {
    enterEmergency(0);
    run(repeated(19, 76, 120, stay(1, "hysteresis")) +
        std::vector<Step>{{76, 139, move(1, 0, "Stepped down to Boost")}});
    EXPECT_EQ(policy.enteredAt(), 139);

    FanPolicy cold(GuardSettings{}.levels());
    cold.update(95, 0);
    for (int i = 0; i < 19; ++i) {
        ASSERT_EQ(cold.update(70, 120 + i), stay(1, "hysteresis"));
    }
    EXPECT_EQ(cold.update(70, 139), move(1, -1, "Returned to Apple Automatic"));
}

TEST_F(FanPolicyTest, ATimeThatCannotBeComparedKeepsTheHold) {
    enterBoost(10);
    run({{60, nan, stay(0, "minimum hold")}, {60, 1000, stay(0, "hysteresis")}});
    FanPolicy other(GuardSettings{}.levels());
    other.update(90, nan);
    EXPECT_EQ(other.update(60, 10000), stay(1, "minimum hold"));
}

TEST_F(FanPolicyTest, CountersStartAgainAfterEveryChange) {
    enterBoost(0);
    // In Boost at a steady 85 the Boost count rises again without effect; Emergency's stays 0.
    run(repeated(5, 85, 1, stay(0, "minimum hold")));
    EXPECT_EQ(policy.aboveCounts(), (std::vector<std::int64_t>{5, 0}));
    run({{90, 6, move(0, 1, "Entered the Emergency threshold")}});
    EXPECT_EQ(policy.aboveCounts(), (std::vector<std::int64_t>{0, 0}));
    EXPECT_EQ(policy.belowCount(), 0);
}

TEST_F(FanPolicyTest, ForcingTheHighestLevelEntersItOnce) {
    enterBoost(0);
    run(repeated(2, 85, 1, stay(0, "minimum hold")));
    EXPECT_EQ(policy.forceHighestLevel(5), move(0, 1, "Entered the Emergency threshold"));
    EXPECT_EQ(policy.aboveCounts(), (std::vector<std::int64_t>{0, 0}));
    EXPECT_EQ(policy.enteredAt(), 5);
    EXPECT_EQ(policy.forceHighestLevel(6), stay(1, "emergency"));
    EXPECT_EQ(policy.enteredAt(), 5);

    FanPolicy automatic(GuardSettings{}.levels());
    EXPECT_EQ(automatic.forceHighestLevel(1), move(-1, 1, "Entered the Emergency threshold"));
    FanPolicy empty({});
    EXPECT_EQ(empty.forceHighestLevel(1), stay(-1, "emergency"));
    EXPECT_EQ(empty.update(200, 2), stay(-1, "automatic"));
}

TEST_F(FanPolicyTest, ReasonsNameTheLevelsInTheInterfaceLanguage) {
    L10n::setLanguage(AppLanguage::german);
    FanPolicy german(GuardSettings{}.levels());
    EXPECT_EQ(german.update(95, 0).reason, "Schwelle Notfall erreicht");
    for (int i = 0; i < 19; ++i) {
        german.update(76, 200 + i);
    }
    EXPECT_EQ(german.update(76, 219).reason, "Zurückgestuft auf Boost");
    EXPECT_EQ(german.update(76, 220).reason, "minimum hold");
}

}  // namespace
}  // namespace ventrella::core
