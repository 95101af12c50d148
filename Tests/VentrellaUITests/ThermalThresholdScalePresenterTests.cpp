#include "Ventrella/UI/ThermalThresholdScalePresenter.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <limits>
#include <memory>
#include <optional>

#include "Support/ScopedLocalization.h"
#include "UISupport/QtTestApplication.h"

namespace ventrella::ui {
namespace {

using core::AppLanguage;
using testsupport::ScopedLocalization;

class ThermalThresholdScalePresenterTest : public testing::Test {
  protected:
    void SetUp() override { uitest::QtTestApplication::ensure(); }

    static std::unique_ptr<ThermalThresholdScalePresenter> gauge(QVariant temperature,
                                                                 double boost = 80,
                                                                 double emergency = 90) {
        auto presenter = std::make_unique<ThermalThresholdScalePresenter>();
        presenter->setTrackWidth(328);
        presenter->setTemperature(temperature);
        presenter->setBoostThreshold(boost);
        presenter->setEmergencyThreshold(emergency);
        return presenter;
    }
};

TEST_F(ThermalThresholdScalePresenterTest, PlacesFillMarkersRampStopsAndLabelFrames) {
    ThermalThresholdScalePresenter presenter;
    presenter.setTrackWidth(328);
    presenter.setTemperature(75.0);
    EXPECT_DOUBLE_EQ(presenter.fillWidth(), 164.0);
    EXPECT_NEAR(presenter.boostMarker(), 187.43, 0.005);
    EXPECT_NEAR(presenter.emergencyMarker(), 234.29, 0.005);
    EXPECT_NEAR(presenter.boostStop(), 40.0 / 70.0, 1e-12);
    EXPECT_NEAR(presenter.emergencyStop(), 50.0 / 70.0, 1e-12);
    // Each label ends 6 points before its marker.
    EXPECT_NEAR(presenter.boostLabelFrameWidth(), 181.43, 0.005);
    EXPECT_NEAR(presenter.emergencyLabelFrameWidth(), 228.29, 0.005);

    // A marker at its lower bound leaves no room: the frame is empty and the label runs past
    // the leading edge.
    presenter.setBoostThreshold(40);
    EXPECT_EQ(presenter.boostMarker(), 1.0);
    EXPECT_EQ(presenter.boostLabelFrameWidth(), 0.0);
}

TEST_F(ThermalThresholdScalePresenterTest, TakesOnlyNumbersAsAReading) {
    const struct {
        QVariant value;
        std::optional<double> celsius;
    } cases[] = {
        {QVariant(), std::nullopt},
        {QVariant::fromValue(nullptr), std::nullopt},
        {QVariant(QStringLiteral("75")), std::nullopt},
        {QVariant(75), 75.0},
        {QVariant(110.5), 110.5},
    };
    for (const auto& [value, celsius] : cases) {
        const auto presenter = gauge(value);
        EXPECT_EQ(presenter->celsius(), celsius) << value.typeName();
    }
    const auto none = gauge(QVariant());
    EXPECT_EQ(none->fillWidth(), 0.0);
    const auto notANumber = gauge(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(notANumber->fillWidth(), 0.0);
}

TEST_F(ThermalThresholdScalePresenterTest, SignalsOnlyRealChanges) {
    ThermalThresholdScalePresenter presenter;
    QSignalSpy changed(&presenter, &ThermalThresholdScalePresenter::inputChanged);
    presenter.setTemperature(std::numeric_limits<double>::quiet_NaN());
    presenter.setTemperature(std::numeric_limits<double>::quiet_NaN());
    presenter.setBoostThreshold(80);  // the default
    presenter.setTrackWidth(-5);      // no negative width: stays 0
    EXPECT_EQ(changed.count(), 1);
    presenter.setTemperature(QVariant());
    presenter.setLanguage(QStringLiteral("de"));
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(ThermalThresholdScalePresenterTest, FormatsLabelsAndAccessibilityInTheInterfaceLanguage) {
    const ScopedLocalization german(VENTRELLA_APP_BUNDLE_DIR, AppLanguage::german);
    const struct {
        QVariant temperature;
        double boost;
        double emergency;
        const char* boostLabel;
        const char* emergencyLabel;
        const char* value;
    } cases[] = {
        {72.44, 80, 90, "Boost 80°", "Notfall 90°",
         "Aktuelle Temperatur 72,4 Grad, Boost 80 Grad, Notfall 90 Grad"},
        // Thresholds are truncated toward zero, in the label and in the announcement.
        {QVariant(), 80.9, 95.99, "Boost 80°", "Notfall 95°",
         "Aktuelle Temperatur unbekannt Grad, Boost 80 Grad, Notfall 95 Grad"},
        // No number reads as no reading.
        {std::numeric_limits<double>::quiet_NaN(), 80, 90, "Boost 80°", "Notfall 90°",
         "Aktuelle Temperatur unbekannt Grad, Boost 80 Grad, Notfall 90 Grad"},
    };
    for (const auto& c : cases) {
        const auto presenter = gauge(c.temperature, c.boost, c.emergency);
        EXPECT_EQ(presenter->boostLabel(), QString::fromUtf8(c.boostLabel));
        EXPECT_EQ(presenter->emergencyLabel(), QString::fromUtf8(c.emergencyLabel));
        EXPECT_EQ(presenter->accessibleValue(), QString::fromUtf8(c.value));
        EXPECT_EQ(presenter->accessibleName(), QStringLiteral("Temperaturschwellen"));
    }

    core::L10n::setLanguage(AppLanguage::english);
    const auto english = gauge(72.44, 80.9, 90);
    EXPECT_EQ(english->boostLabel(), QStringLiteral("Boost 80°"));
    EXPECT_EQ(
        english->accessibleValue(),
        QStringLiteral("Current temperature 72.4 degrees, Boost 80 degrees, Emergency 90 degrees"));
}

}  // namespace
}  // namespace ventrella::ui
