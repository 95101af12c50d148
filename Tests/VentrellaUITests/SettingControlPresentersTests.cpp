#include <gtest/gtest.h>

#include <limits>

#include "Support/ScopedLocalization.h"
#include "UISupport/QtTestApplication.h"
#include "Ventrella/UI/CounterSettingPresenter.h"
#include "Ventrella/UI/DurationSettingPresenter.h"

namespace ventrella::ui {
namespace {

using core::AppLanguage;
using testsupport::ScopedLocalization;

class SettingControlPresentersTest : public testing::Test {
  protected:
    void SetUp() override { uitest::QtTestApplication::ensure(); }

    ScopedLocalization english{VENTRELLA_APP_BUNDLE_DIR, AppLanguage::english};
};

TEST_F(SettingControlPresentersTest, CounterStepsByOneAndDisablesEachButtonAtItsBound) {
    const struct {
        int value;
        bool canDecrease;
        bool canIncrease;
        int decreased;
        int increased;
    } cases[] = {
        {1, false, true, 1, 2},
        {3, true, true, 2, 4},
        {5, true, false, 4, 5},
    };
    for (const auto& c : cases) {
        CounterSettingPresenter counter;
        counter.setLower(1);
        counter.setUpper(5);
        counter.setUnit(QStringLiteral("sec"));
        counter.setValue(c.value);
        EXPECT_EQ(counter.canDecrease(), c.canDecrease) << c.value;
        EXPECT_EQ(counter.canIncrease(), c.canIncrease) << c.value;
        EXPECT_EQ(counter.decreased(), c.decreased) << c.value;
        EXPECT_EQ(counter.increased(), c.increased) << c.value;
        EXPECT_EQ(counter.valueText(), QString::number(c.value) + QStringLiteral(" sec"));
    }

    // Bounds at the ends of int's range do not overflow.
    CounterSettingPresenter wide;
    wide.setLower(std::numeric_limits<int>::min());
    wide.setUpper(std::numeric_limits<int>::max());
    wide.setValue(std::numeric_limits<int>::max());
    EXPECT_EQ(wide.increased(), std::numeric_limits<int>::max());
    EXPECT_FALSE(wide.canIncrease());
}

TEST_F(SettingControlPresentersTest, DurationsReadInSecondsUpTo59ThenInMinutes) {
    const struct {
        double seconds;
        const char* english;
        const char* german;
    } cases[] = {
        {0, "0 sec", "0 Sek."},
        {59, "59 sec", "59 Sek."},
        {59.5, "1 min", "1 Min."},  // rounded first
        {60, "1 min", "1 Min."},
        {90, "1 min 30 sec", "1 Min. 30 Sek."},
        {105, "1 min 45 sec", "1 Min. 45 Sek."},
        {1800, "30 min", "30 Min."},
    };
    DurationSettingPresenter presenter;
    for (const auto& c : cases) {
        presenter.setSeconds(c.seconds);
        core::L10n::setLanguage(AppLanguage::english);
        EXPECT_EQ(presenter.formattedDuration().toStdString(), c.english);
        core::L10n::setLanguage(AppLanguage::german);
        EXPECT_EQ(presenter.formattedDuration().toStdString(), c.german);
    }
}

TEST_F(SettingControlPresentersTest, DurationSliderStandsAtTheNearestPresetAndWritesOnlyPresets) {
    const QList<double> presets = {0, 15, 30, 45, 60, 90, 120, 180, 300, 600, 900, 1800};
    DurationSettingPresenter presenter;
    presenter.setPresets(presets);
    EXPECT_EQ(presenter.lastIndex(), 11);

    const struct {
        double seconds;
        double index;
    } positions[] = {
        {0, 0},     {60, 4},    {100, 5}, {105, 5}, {110, 6},
        {1800, 11}, {5000, 11}, {-20, 0}, {7.5, 0},  // halfway between 0 and 15: the first
    };
    for (const auto& [seconds, index] : positions) {
        presenter.setSeconds(seconds);
        EXPECT_EQ(presenter.presetIndex(), index) << seconds;
    }

    // A value that is no preset keeps its own text until the slider moves.
    presenter.setSeconds(105);
    EXPECT_EQ(presenter.formattedDuration(), QStringLiteral("1 min 45 sec"));

    const struct {
        double position;
        double seconds;
    } moves[] = {{5, 90}, {5.5, 120}, {5.49, 90}, {-3, 0}, {40, 1800}, {0.5, 15}};
    for (const auto& [position, seconds] : moves) {
        EXPECT_EQ(presenter.secondsAt(position), seconds) << position;
    }

    // Without presets the slider has nothing to offer and writes what is there.
    presenter.setPresets({});
    EXPECT_EQ(presenter.lastIndex(), 0);
    EXPECT_EQ(presenter.presetIndex(), 0);
    EXPECT_EQ(presenter.secondsAt(3), 105);
}

}  // namespace
}  // namespace ventrella::ui
