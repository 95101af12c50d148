#include "Platform/VirtualMac/ThermalModel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace {

using virtualmac::FanMode;
using virtualmac::ThermalModel;

ThermalModel twoFanMachine() {
    return ThermalModel({{1200, 5800}, {1300, 6200}});
}

// Seconds of simulated time until the CPU first reaches `celsius`, or -1 within `limit`.
double secondsUntilCpuReaches(ThermalModel& model, double celsius, double limit) {
    for (double t = 0; t <= limit; t += 1.0) {
        if (model.cpuTemperature() >= celsius) {
            return t;
        }
        model.advance(1.0);
    }
    return -1;
}

TEST(ThermalModel, StartsAtAmbientIdleWithFansAutomaticAtMinimum) {
    const ThermalModel model = twoFanMachine();
    EXPECT_DOUBLE_EQ(model.cpuTemperature(), virtualmac::thermal::kAmbientCelsius);
    EXPECT_DOUBLE_EQ(model.gpuTemperature(), virtualmac::thermal::kAmbientCelsius);
    ASSERT_EQ(model.fanCount(), 2u);
    EXPECT_EQ(model.fan(1).mode, FanMode::automatic);
    EXPECT_DOUBLE_EQ(model.fan(1).targetRPM, 1300);
    EXPECT_DOUBLE_EQ(model.fan(1).actualRPM, 1300);
    EXPECT_THROW(model.fan(2), std::out_of_range);
}

TEST(ThermalModel, FullLoadWithFansAtMinimumPassesNinetyWithinTwoMinutes) {
    ThermalModel model = twoFanMachine();
    for (std::size_t i = 0; i < model.fanCount(); ++i) {
        model.setFanMode(i, FanMode::manual);
        model.setFanTarget(i, model.fan(i).minimumRPM);
    }
    model.advance(600);  // settle at idle
    const double idle = model.cpuTemperature();
    EXPECT_GT(idle, 40);
    EXPECT_LT(idle, 55);

    model.setCpuLoad(1.0);
    const double seconds = secondsUntilCpuReaches(model, 90, 120);
    EXPECT_GT(seconds, 10);  // heating takes time, not one step
    EXPECT_LE(seconds, 120);
    model.advance(600);
    EXPECT_GT(model.cpuTemperature(), 95);
    EXPECT_LT(model.cpuTemperature(), 115);
}

TEST(ThermalModel, FasterFansHoldTheDieCooler) {
    ThermalModel slow = twoFanMachine();
    ThermalModel sixtyPercent = twoFanMachine();
    for (ThermalModel* model : {&slow, &sixtyPercent}) {
        model->setCpuLoad(1.0);
        model->setGpuLoad(1.0);
        for (std::size_t i = 0; i < model->fanCount(); ++i) {
            const auto& fan = model->fan(i);
            const double target = model == &slow
                                      ? fan.minimumRPM
                                      : fan.minimumRPM + 0.6 * (fan.maximumRPM - fan.minimumRPM);
            model->setFanMode(i, FanMode::manual);
            model->setFanTarget(i, target);
        }
        model->advance(900);
    }
    EXPECT_GT(slow.cpuTemperature() - sixtyPercent.cpuTemperature(), 15);
    EXPECT_GT(slow.gpuTemperature() - sixtyPercent.gpuTemperature(), 10);
    // Manual targets hold however hot the die gets.
    EXPECT_DOUBLE_EQ(slow.fan(0).targetRPM, 1200);
    EXPECT_NEAR(slow.fan(0).actualRPM, 1200, 1e-6);
}

TEST(ThermalModel, AutomaticCurveFollowsTheHotterDie) {
    const virtualmac::FanState fan{1000, 5000, FanMode::automatic, 0, 0};
    EXPECT_DOUBLE_EQ(ThermalModel::automaticTarget(fan, 20), 1000);
    EXPECT_DOUBLE_EQ(ThermalModel::automaticTarget(fan, 55), 1000);
    EXPECT_DOUBLE_EQ(ThermalModel::automaticTarget(fan, 75), 3000);
    EXPECT_DOUBLE_EQ(ThermalModel::automaticTarget(fan, 95), 5000);
    EXPECT_DOUBLE_EQ(ThermalModel::automaticTarget(fan, 120), 5000);

    ThermalModel model = twoFanMachine();
    model.setGpuTemperature(95);
    model.advance(0.1);
    // The GPU is hotter than the CPU, so it drives the curve.
    EXPECT_NEAR(model.fan(0).targetRPM, ThermalModel::automaticTarget(model.fan(0), 95), 60);
    EXPECT_GT(model.fan(0).targetRPM, 5000);

    // A written target in automatic mode is replaced by the firmware at the next step.
    model.setFanTarget(1, 1300);
    model.advance(0.1);
    EXPECT_GT(model.fan(1).targetRPM, 5000);
}

TEST(ThermalModel, AutomaticModeKeepsFullLoadCoolerThanMinimumFans) {
    ThermalModel automatic = twoFanMachine();
    ThermalModel pinned = twoFanMachine();
    pinned.setFanMode(0, FanMode::manual);
    pinned.setFanMode(1, FanMode::manual);
    for (ThermalModel* model : {&automatic, &pinned}) {
        model->setCpuLoad(1.0);
        model->advance(900);
    }
    EXPECT_LT(automatic.cpuTemperature(), pinned.cpuTemperature() - 10);
    EXPECT_GT(automatic.fan(0).actualRPM, 2500);
}

TEST(ThermalModel, ActualSpeedLagsTheTargetAndNeverExceedsTheMaximum) {
    ThermalModel model = twoFanMachine();
    model.setFanMode(0, FanMode::manual);
    model.setFanTarget(0, 5200);

    model.advance(virtualmac::thermal::kFanTimeConstantSeconds);
    // One time constant covers about 63 % of the way.
    const double expected = 1200 + (5200 - 1200) * (1 - std::exp(-1.0));
    EXPECT_NEAR(model.fan(0).actualRPM, expected, 5);
    EXPECT_DOUBLE_EQ(model.fan(0).targetRPM, 5200);

    model.advance(20);
    EXPECT_NEAR(model.fan(0).actualRPM, 5200, 1);

    model.setFanTarget(0, 99999);
    model.advance(60);
    EXPECT_LE(model.fan(0).actualRPM, 5800);
    EXPECT_NEAR(model.fan(0).actualRPM, 5800, 1);
    EXPECT_DOUBLE_EQ(model.fan(0).targetRPM, 99999);  // what was written stays readable

    model.setFanTarget(0, -50);
    model.advance(60);
    EXPECT_GE(model.fan(0).actualRPM, 0);
    EXPECT_NEAR(model.fan(0).actualRPM, 0, 1);
}

TEST(ThermalModel, ReturningToAutomaticHandsTheFanBackToTheCurve) {
    ThermalModel model = twoFanMachine();
    model.setFanMode(0, FanMode::manual);
    model.setFanTarget(0, 5000);
    model.advance(10);
    model.setFanMode(0, FanMode::automatic);
    model.advance(20);
    EXPECT_DOUBLE_EQ(model.fan(0).targetRPM, 1200);  // cool machine: curve minimum
    EXPECT_NEAR(model.fan(0).actualRPM, 1200, 5);
}

TEST(ThermalModel, AdvanceIsDeterministicAndStepSizeIndependent) {
    ThermalModel coarse = twoFanMachine();
    ThermalModel fine = twoFanMachine();
    for (ThermalModel* model : {&coarse, &fine}) {
        model->setCpuLoad(0.8);
        model->setGpuLoad(0.5);
    }
    coarse.advance(30);
    for (int i = 0; i < 3000; ++i) {
        fine.advance(0.01);
    }
    EXPECT_NEAR(coarse.cpuTemperature(), fine.cpuTemperature(), 0.5);
    EXPECT_NEAR(coarse.fan(0).actualRPM, fine.fan(0).actualRPM, 50);

    ThermalModel again = twoFanMachine();
    again.setCpuLoad(0.8);
    again.setGpuLoad(0.5);
    again.advance(30);
    EXPECT_EQ(again.cpuTemperature(), coarse.cpuTemperature());
    EXPECT_EQ(again.fan(1).actualRPM, coarse.fan(1).actualRPM);

    const double before = again.cpuTemperature();
    again.advance(0);
    EXPECT_EQ(again.cpuTemperature(), before);
}

TEST(ThermalModel, RejectsInvalidInput) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    EXPECT_THROW(ThermalModel({{3000, 2000}}), std::invalid_argument);
    EXPECT_THROW(ThermalModel({{-1, 2000}}), std::invalid_argument);
    EXPECT_THROW(ThermalModel({{0, inf}}), std::invalid_argument);

    ThermalModel model = twoFanMachine();
    EXPECT_THROW(model.advance(-1), std::invalid_argument);
    EXPECT_THROW(model.advance(nan), std::invalid_argument);
    EXPECT_THROW(model.advance(inf), std::invalid_argument);
    EXPECT_THROW(model.setCpuLoad(nan), std::invalid_argument);
    EXPECT_THROW(model.setFanTarget(0, nan), std::invalid_argument);
    EXPECT_THROW(model.setGpuTemperature(inf), std::invalid_argument);
    EXPECT_THROW(model.setFanTarget(5, 1000), std::out_of_range);
    EXPECT_THROW(model.setFanMode(5, FanMode::manual), std::out_of_range);

    model.setCpuLoad(7);
    EXPECT_DOUBLE_EQ(model.cpuLoad(), 1.0);
    model.setGpuLoad(-3);
    EXPECT_DOUBLE_EQ(model.gpuLoad(), 0.0);
}

TEST(ThermalModel, MachineWithoutFansStillHeatsAndCoolsPassively) {
    ThermalModel model({});
    model.setCpuLoad(1.0);
    model.advance(900);
    const double hot = model.cpuTemperature();
    EXPECT_GT(hot, 100);
    EXPECT_TRUE(std::isfinite(hot));
    model.setCpuLoad(0);
    model.advance(900);
    EXPECT_LT(model.cpuTemperature(), hot - 50);
}

}  // namespace
