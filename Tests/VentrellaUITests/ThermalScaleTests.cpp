#include "Ventrella/UI/ThermalScale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace ventrella::ui {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

TEST(ThermalScale, FractionsRunFrom40To110AndTreatNaNAsTheLowEnd) {
    const struct {
        double celsius;
        double fraction;
    } cases[] = {
        {40, 0.0},        {75, 0.5},       {110, 1.0}, {115, 1.0}, {39.9, 0.0},
        {-infinity, 0.0}, {infinity, 1.0}, {nan, 0.0}, {54, 0.2},
    };
    for (const auto& [celsius, fraction] : cases) {
        EXPECT_DOUBLE_EQ(ThermalScale::fraction(celsius), fraction) << celsius;
    }
}

TEST(ThermalScale, TheFillIsEmptyWithoutAReadingAndFullAbove110) {
    EXPECT_EQ(ThermalScale::position(328, std::nullopt), 0.0);
    EXPECT_EQ(ThermalScale::position(328, 40.0), 0.0);
    EXPECT_EQ(ThermalScale::position(328, nan), 0.0);
    EXPECT_DOUBLE_EQ(ThermalScale::position(328, 75.0), 164.0);
    EXPECT_DOUBLE_EQ(ThermalScale::position(328, 115.0), 328.0);
}

TEST(ThermalScale, MarkersStayOnTheTrack) {
    const struct {
        double width;
        double threshold;
        double marker;
    } cases[] = {
        {328, 80, 187.42857142857142},
        {328, 90, 234.28571428571428},
        {328, 110, 326},  // W − 2: the marker ends at the trailing edge
        {328, 40, 1},     // its rectangle starts at 0
        {328, 20, 1},
        {328, nan, 1},
        {2, 110, 1},  // narrower than 3 points: the lower limit wins
        {0, 80, 1},
    };
    for (const auto& [width, threshold, marker] : cases) {
        EXPECT_NEAR(ThermalScale::markerPosition(width, threshold), marker, 1e-9)
            << width << " " << threshold;
    }
    EXPECT_NEAR(ThermalScale::markerPosition(328, 80), 187.43, 0.005);
    EXPECT_NEAR(ThermalScale::markerPosition(328, 90), 234.29, 0.005);
}

}  // namespace
}  // namespace ventrella::ui
