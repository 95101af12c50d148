#include "Ventrella/UI/TemperatureBandPresenter.h"

#include <gtest/gtest.h>

#include "Support/ScopedLocalization.h"
#include "UISupport/QtTestApplication.h"

namespace ventrella::ui {
namespace {

using core::AppLanguage;

class TemperatureBandPresenterTest : public testing::Test {
  protected:
    void SetUp() override { uitest::QtTestApplication::ensure(); }

    // A track 89 points wide with 19-point handles: 70 points of travel over 40…110 °C, so a
    // handle centre stands at 9.5 + (t − 40).
    static void band(TemperatureBandPresenter& presenter, double exit, double enter,
                     double width = 89) {
        presenter.setTrackWidth(width);
        presenter.setHandleSize(19);
        presenter.setLowerCelsius(40);
        presenter.setUpperCelsius(110);
        presenter.setExitCelsius(exit);
        presenter.setEnterCelsius(enter);
    }
};

TEST_F(TemperatureBandPresenterTest, PlacesHandlesBandAndBackgroundFromTheValuesOnly) {
    TemperatureBandPresenter presenter;
    band(presenter, 80, 90);
    EXPECT_DOUBLE_EQ(presenter.usableWidth(), 70);
    EXPECT_DOUBLE_EQ(presenter.exitX(), 49.5);
    EXPECT_DOUBLE_EQ(presenter.enterX(), 59.5);
    EXPECT_DOUBLE_EQ(presenter.bandWidth(), 10);
    EXPECT_DOUBLE_EQ(presenter.backgroundWidth(), 70);

    // Values beyond the range stand at its ends; a band turned inside out has no width.
    presenter.setExitCelsius(120);
    presenter.setEnterCelsius(20);
    EXPECT_DOUBLE_EQ(presenter.exitX(), 79.5);
    EXPECT_DOUBLE_EQ(presenter.enterX(), 9.5);
    EXPECT_DOUBLE_EQ(presenter.bandWidth(), 0);

    // A track narrower than a handle keeps a travel of one point.
    band(presenter, 75, 110, 10);
    EXPECT_DOUBLE_EQ(presenter.usableWidth(), 1);
    EXPECT_DOUBLE_EQ(presenter.exitX(), 10);
    EXPECT_DOUBLE_EQ(presenter.enterX(), 10.5);
    EXPECT_DOUBLE_EQ(presenter.backgroundWidth(), 0);
}

TEST_F(TemperatureBandPresenterTest, DragsWriteTheRoundedValueUnderThePointerKeptOneDegreeApart) {
    const struct {
        double width;
        bool enter;
        double x;
        double written;
    } cases[] = {
        {89, true, 69.5, 100},
        {89, true, 29.5, 81},  // would pass the exit handle (80): stops at exit + 1
        {89, true, -50, 81},   // left of the first centre counts as 40
        {89, true, 500, 110},  // right of the last centre counts as 110
        {89, false, 29.5, 60},
        {89, false, 69.5, 89},  // would pass the enter handle (90): stops at enter − 1
        {89, false, -5, 40},
        {89, false, 49.1, 80},  // 79.6 rounds up
        {89, false, 48.9, 79},  // 79.4 down
        // One point of travel still maps every location into the range.
        {10, false, 9.5, 40},
        {10, false, 10, 75},
        {10, true, 10.5, 110},
        {10, true, -1000, 81},
    };
    for (const auto& c : cases) {
        TemperatureBandPresenter presenter;
        band(presenter, 80, 90, c.width);
        const double written = c.enter ? presenter.draggedEnter(c.x) : presenter.draggedExit(c.x);
        EXPECT_EQ(written, c.written)
            << (c.enter ? "enter" : "exit") << " at " << c.x << " on a track of " << c.width;
    }
}

TEST_F(TemperatureBandPresenterTest, AccessibilityStepsOneDegreeWithinTheRangeAndTheOtherHandle) {
    const struct {
        double exit;
        double enter;
        double exitUp;
        double exitDown;
        double enterUp;
        double enterDown;
    } cases[] = {
        {72, 80, 73, 71, 81, 79},
        // Adjacent handles: the exit handle cannot rise, the enter handle cannot fall.
        {80, 81, 80, 79, 82, 81},
        // At the ends of the range.
        {40, 110, 41, 40, 110, 109},
    };
    for (const auto& c : cases) {
        TemperatureBandPresenter presenter;
        band(presenter, c.exit, c.enter);
        EXPECT_EQ(presenter.adjustedExit(true), c.exitUp) << c.exit << "/" << c.enter;
        EXPECT_EQ(presenter.adjustedExit(false), c.exitDown) << c.exit << "/" << c.enter;
        EXPECT_EQ(presenter.adjustedEnter(true), c.enterUp) << c.exit << "/" << c.enter;
        EXPECT_EQ(presenter.adjustedEnter(false), c.enterDown) << c.exit << "/" << c.enter;
    }
}

TEST_F(TemperatureBandPresenterTest, WritesWholeDegreesInTheInterfaceLanguage) {
    const testsupport::ScopedLocalization english(VENTRELLA_APP_BUNDLE_DIR, AppLanguage::english);
    TemperatureBandPresenter presenter;
    band(presenter, 80, 90);
    EXPECT_EQ(presenter.exitText(), QStringLiteral("80°C"));
    EXPECT_EQ(presenter.enterText(), QStringLiteral("90°C"));
    EXPECT_EQ(presenter.hysteresisText(), QStringLiteral("10° hysteresis"));
    EXPECT_EQ(presenter.lowerText(), QStringLiteral("40°"));
    EXPECT_EQ(presenter.upperText(), QStringLiteral("110°"));
    EXPECT_EQ(presenter.exitAccessibleValue(), QStringLiteral("80 degrees"));

    // Fractions are dropped, also from the difference.
    presenter.setExitCelsius(80.5);
    presenter.setEnterCelsius(89.9);
    EXPECT_EQ(presenter.exitText(), QStringLiteral("80°C"));
    EXPECT_EQ(presenter.hysteresisText(), QStringLiteral("9° hysteresis"));
    EXPECT_EQ(presenter.enterAccessibleValue(), QStringLiteral("89 degrees"));

    core::L10n::setLanguage(AppLanguage::german);
    EXPECT_EQ(presenter.hysteresisText(), QStringLiteral("9° Hysterese"));
    EXPECT_EQ(presenter.exitAccessibleValue(), QStringLiteral("80 Grad"));
}

}  // namespace
}  // namespace ventrella::ui
