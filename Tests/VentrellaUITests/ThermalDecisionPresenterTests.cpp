#include "Ventrella/UI/ThermalDecisionPresenter.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QVariantMap>
#include <limits>
#include <optional>

#include "Support/ScopedLocalization.h"
#include "UISupport/QtTestApplication.h"
#include "Ventrella/Core/SensorSnapshot.h"
#include "Ventrella/UI/ThermalThresholdBarPresenter.h"

namespace ventrella::ui {
namespace {

using core::AppLanguage;
using core::SensorSnapshot;
using core::TemperatureAggregation;
using core::TemperatureSource;

class ThermalDecisionPresenterTest : public testing::Test {
  protected:
    void SetUp() override {
        uitest::QtTestApplication::ensure();
        snapshot = SensorSnapshot{{{"TC0P", 70.0}, {"TC1P", 74.0}}, {{"TG0P", 81.5}}, {}};
        presenter.setDraft(&draft);
        presenter.setPreviewSource(&source);
    }

    testsupport::ScopedLocalization english{VENTRELLA_APP_BUNDLE_DIR, AppLanguage::english};
    // The model's latest snapshot, as the page's source reads it.
    std::optional<SensorSnapshot> snapshot;
    TemperaturePreviewSource source{
        [this](TemperatureSource s,
               TemperatureAggregation a) -> std::optional<core::TemperatureReading> {
            return snapshot ? snapshot->reading(s, a) : std::nullopt;
        }};
    SettingsDraft draft;
    ThermalDecisionPresenter presenter;
};

TEST_F(ThermalDecisionPresenterTest, ReadsTheDraftsSourceAndCalculationWithTheirOrigin) {
    const struct {
        const char* source;
        const char* aggregation;
        const char* reading;
        const char* detail;
        const char* germanDetail;
    } cases[] = {
        {"cpu", "average", "72.0°C", "CPU · Average · Sensors: 2",
         "CPU · Durchschnitt · Sensoren: 2"},
        {"cpu", "hottest", "74.0°C", "CPU · Hottest · TC1P", "CPU · Heißester · TC1P"},
        {"gpu", "hottest", "81.5°C", "GPU · Hottest · TG0P", "GPU · Heißester · TG0P"},
        {"cpuAndGPU", "hottest", "81.5°C", "CPU + GPU · Hottest · TG0P",
         "CPU + GPU · Heißester · TG0P"},
        {"cpuAndGPU", "average", "75.2°C", "CPU + GPU · Average · Sensors: 3",
         "CPU + GPU · Durchschnitt · Sensoren: 3"},
    };
    for (const auto& c : cases) {
        draft.setTemperatureSource(QString::fromLatin1(c.source));
        draft.setTemperatureAggregation(QString::fromLatin1(c.aggregation));
        core::L10n::setLanguage(AppLanguage::english);
        presenter.setLanguage(QStringLiteral("en"));
        EXPECT_EQ(presenter.readingText().toStdString(), c.reading);
        EXPECT_EQ(presenter.detailText().toStdString(), c.detail);
        core::L10n::setLanguage(AppLanguage::german);
        presenter.setLanguage(QStringLiteral("de"));
        EXPECT_EQ(presenter.detailText().toStdString(), c.germanDetail);
    }
    EXPECT_EQ(presenter.readingText(), QStringLiteral("75,2°C"));
}

TEST_F(ThermalDecisionPresenterTest, FollowsEveryNewSnapshotWhileTheDraftStaysAsItIs) {
    QSignalSpy preview(&presenter, &ThermalDecisionPresenter::previewChanged);
    QSignalSpy edits(&draft, &SettingsDraft::changed);
    EXPECT_EQ(presenter.temperature(), QVariant(72.0));

    snapshot->cpuTemperatures["TC0P"] = 90.0;
    emit source.snapshotChanged();
    EXPECT_EQ(preview.count(), 1);
    EXPECT_EQ(presenter.readingText(), QStringLiteral("82.0°C"));
    EXPECT_EQ(presenter.temperature(), QVariant(82.0));

    // No snapshot, or none with a sensor of the chosen source: no reading, the detail waits.
    snapshot.reset();
    emit source.snapshotChanged();
    EXPECT_EQ(presenter.readingText(), QStringLiteral("—"));
    EXPECT_FALSE(presenter.temperature().isValid());
    EXPECT_EQ(presenter.detailText(), QStringLiteral("CPU · Average · waiting for data"));
    snapshot = SensorSnapshot{{{"TC0P", 70.0}}, {}, {}};
    draft.setTemperatureSource(QStringLiteral("gpu"));
    EXPECT_EQ(presenter.detailText(), QStringLiteral("GPU · Average · waiting for data"));
    EXPECT_EQ(edits.count(), 1);

    // Without a source there is never a reading.
    presenter.setPreviewSource(nullptr);
    draft.setTemperatureSource(QStringLiteral("cpu"));
    EXPECT_EQ(presenter.readingText(), QStringLiteral("—"));
}

TEST_F(ThermalDecisionPresenterTest, SourceTitlesStandAsTheyAreWhileCalculationsAreTranslated) {
    const testsupport::ScopedLocalization german(VENTRELLA_APP_BUNDLE_DIR, AppLanguage::german);
    QStringList sources;
    for (const auto& option : presenter.sourceOptions()) {
        const auto map = option.toMap();
        sources << map.value("value").toString() + "=" + map.value("title").toString();
    }
    EXPECT_EQ(sources, QStringList({"cpu=CPU", "gpu=GPU", "cpuAndGPU=CPU + GPU"}));
    QStringList aggregations;
    for (const auto& option : presenter.aggregationOptions()) {
        const auto map = option.toMap();
        aggregations << map.value("value").toString() + "=" + map.value("title").toString();
    }
    EXPECT_EQ(aggregations, QStringList({"hottest=Heißester", "average=Durchschnitt"}));
}

class ThermalThresholdBarPresenterTest : public testing::Test {
  protected:
    void SetUp() override { uitest::QtTestApplication::ensure(); }

    testsupport::ScopedLocalization english{VENTRELLA_APP_BUNDLE_DIR, AppLanguage::english};
};

TEST_F(ThermalThresholdBarPresenterTest, FillsTheTracksShareAndStartsTheMarkerAtTheThreshold) {
    const struct {
        QVariant temperature;
        double threshold;
        double fill;
        double marker;
        const char* temperatureText;
    } cases[] = {
        {75.0, 80, 70, 80, "75.0"},
        {40.0, 90, 0, 100, "40.0"},
        {115.0, 110, 140, 138, "115.0"},  // the marker ends at the right end
        {30.0, 40, 0, 1, "30.0"},         // and starts 1 point in from the left end
        {72.44, 30, 64.88, 1, "72.4"},
        {QVariant(), 120, 0, 138, "—"},
        // Not a number: no fill and no value, as with no reading at all.
        {std::numeric_limits<double>::quiet_NaN(), 80, 0, 80, "—"},
    };
    for (const auto& c : cases) {
        ThermalThresholdBarPresenter bar;
        bar.setTrackWidth(140);
        bar.setTemperature(c.temperature);
        bar.setThreshold(c.threshold);
        EXPECT_NEAR(bar.fillWidth(), c.fill, 1e-9) << c.temperature.toString().toStdString();
        EXPECT_DOUBLE_EQ(bar.markerX(), c.marker) << c.threshold;
        EXPECT_EQ(bar.temperatureText().toStdString(), c.temperatureText);
    }
}

TEST_F(ThermalThresholdBarPresenterTest, NamesTheBarAndReadsItsValuesInTheInterfaceLanguage) {
    ThermalThresholdBarPresenter bar;
    bar.setTitle(QStringLiteral("Boost"));
    bar.setTemperature(72.44);
    bar.setThreshold(80.9);
    EXPECT_EQ(bar.thresholdText(), QStringLiteral("81°C"));
    EXPECT_EQ(bar.accessibleName(), QStringLiteral("Boost temperature threshold"));
    // The threshold is announced without its fraction.
    EXPECT_EQ(bar.accessibleValue(),
              QStringLiteral("Current temperature 72.4 degrees, threshold 80 degrees"));
    bar.setTemperature(QVariant());
    EXPECT_EQ(bar.accessibleValue(),
              QStringLiteral("Current temperature unknown degrees, threshold 80 degrees"));

    core::L10n::setLanguage(AppLanguage::german);
    bar.setTitle(QStringLiteral("Notfall"));
    bar.setTemperature(72.44);
    EXPECT_EQ(bar.temperatureText(), QStringLiteral("72,4"));
    EXPECT_EQ(bar.accessibleName(), QStringLiteral("Temperaturschwelle Notfall"));
    EXPECT_EQ(bar.accessibleValue(),
              QStringLiteral("Aktuelle Temperatur 72,4 Grad, Schwelle 80 Grad"));
}

}  // namespace
}  // namespace ventrella::ui
