#include <QQmlProperty>
#include <QQuickItem>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include "SettingsCardViewTest.h"
#include "Support/FakeAccessibilityDisplayOptions.h"
#include "Support/VirtualDesktop.h"
#include "UISupport/QtTestApplication.h"
#include "Ventrella/UI/AccessibilityDisplay.h"
#include "Ventrella/UI/QmlEnvironment.h"

namespace ventrella::uiviewtests {
namespace {

using core::GuardSettings;

QString text(const QQuickItem* item) {
    return QQmlProperty::read(item, "text").toString();
}

// The attached Accessible object of an item.
QObject* accessible(QQuickItem* item) {
    for (auto* child : item->children()) {
        if (qstrcmp(child->metaObject()->className(), "QQuickAccessibleAttached") == 0) {
            return child;
        }
    }
    return nullptr;
}

TEST_F(SettingsCardViewTest, EveryCardShowsTheDraftWithoutWritingToItAndFitsThePage) {
    // A value that is no preset, and a reading, so that every control has something to show;
    // both sources, whose origin line is the longest while it waits for data.
    GuardSettings settings;
    settings.temperatureSource = core::TemperatureSource::cpuAndGPU;
    settings.boostMinimumHoldSeconds = 105;
    settings.boostPercent = 64;
    settings.emergencyExitSamples = 120;
    draft.replace(settings);
    const core::SensorSnapshot reading{{{"TC0P", 70.0}, {"TC1P", 74.9}}, {{"TG0P", 81.5}}, {}};
    QSignalSpy edits(&draft, &ui::SettingsDraft::changed);

    const struct {
        Card card;
        const char* name;
        double padding;
        bool withReading;
    } cards[] = {
        {Card::thermalDecision, "thermal-decision", 14, true},
        {Card::thermalDecision, "thermal-decision-waiting", 14, false},
        {Card::boost, "boost", 12, true},
        {Card::emergency, "emergency", 12, true},
    };
    for (const auto& [kind, name, padding, withReading] : cards) {
        snapshot = withReading ? std::optional(reading) : std::nullopt;
        for (const std::string language : {"en", "de", "ar"}) {
            ASSERT_NE(load(kind, language), nullptr) << name << " " << language;
            EXPECT_EQ(card()->width(), 332);
            EXPECT_EQ(overflowingTexts(padding), QStringList()) << name << " " << language;
            EXPECT_TRUE(
                view.grab(testsupport::testArtifact(std::string(name) + "-" + language + ".png")));
        }
    }
    EXPECT_EQ(edits.count(), 0);
    EXPECT_EQ(draft.settings(), settings);
}

TEST_F(SettingsCardViewTest, CardsShowTheDraftsValuesInTheLanguage) {
    GuardSettings settings;
    settings.pollIntervalSeconds = 5;
    settings.boostMinimumHoldSeconds = 105;
    draft.replace(settings);
    ASSERT_NE(load(Card::boost, "de"), nullptr);
    EXPECT_EQ(text(find("boostBand", "hysteresis")), QStringLiteral("8° Hysterese"));
    EXPECT_EQ(text(find("coolingPower", "valueText")), QStringLiteral("%55"));
    EXPECT_EQ(text(find("boostStartConfirmation", "detail")),
              QStringLiteral("Über der Schwelle · ≈ 15 Sek."));
    EXPECT_EQ(text(find("boostStartConfirmation", "valueText")), QStringLiteral("3 Messungen"));
    EXPECT_EQ(text(find("boostMinimumRunTime", "valueText")), QStringLiteral("1 Min. 45 Sek."));

    // The sampling interval changes in the Application card: the details follow before saving.
    draft.setPollIntervalBinding(1);
    EXPECT_EQ(text(find("boostStartConfirmation", "detail")),
              QStringLiteral("Über der Schwelle · ≈ 3 Sek."));
}

TEST_F(SettingsCardViewTest, DraggingAHandleMovesItAndTheDraftButNeverPastTheOtherHandle) {
    ASSERT_NE(load(Card::boost, "en"), nullptr);
    auto* track = find("boostBand", "track");
    auto* exitHandle = find("boostBand", "exitHandle");
    auto* enterHandle = find("boostBand", "enterHandle");
    ASSERT_TRUE(track && exitHandle && enterHandle);
    QSignalSpy edits(&draft, &ui::SettingsDraft::changed);
    const double usable = track->width() - 19;
    const double left = sceneX(track) + 9.5;
    // The value under a window x, as the drag rule rounds it.
    auto valueAt = [&](int x) {
        return std::round(40 + 70 * std::clamp((x - left) / usable, 0.0, 1.0));
    };
    auto at = [&](double celsius, double y) {
        return QPoint(qRound(left + usable * (celsius - 40) / 70), qRound(y));
    };
    auto& window = view.window();

    // The enter handle dragged far to the left stops one degree above the exit handle.
    const QPointF enterCentre = sceneCentre(enterHandle);
    QTest::mousePress(&window, Qt::LeftButton, {}, enterCentre.toPoint());
    QTest::mouseMove(&window, at(60, enterCentre.y()));
    QTest::mouseMove(&window, at(20, enterCentre.y() + 40));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, at(20, enterCentre.y() + 40));
    EXPECT_EQ(draft.boostEnterCelsius(), 73);
    EXPECT_EQ(draft.boostExitCelsius(), 72);
    EXPECT_GT(sceneCentre(enterHandle).x(), sceneCentre(exitHandle).x());

    // Where the handles overlap, the enter handle lies on top and takes the press.
    const QPointF exitCentre = sceneCentre(exitHandle);
    QTest::mousePress(&window, Qt::LeftButton, {}, exitCentre.toPoint());
    const QPoint hot = at(95, exitCentre.y());
    QTest::mouseMove(&window, hot);
    QTest::mouseRelease(&window, Qt::LeftButton, {}, hot);
    EXPECT_EQ(draft.boostExitCelsius(), 72);
    // 95 lies above the Emergency start less one: the binding keeps it at 89.
    EXPECT_EQ(draft.boostEnterCelsius(), 89);
    EXPECT_NEAR(sceneCentre(enterHandle).x(), left + usable * 49 / 70, 0.01);

    // A press alone writes: 8 points right of the exit handle's centre.
    const QPoint press = (sceneCentre(exitHandle) + QPointF(8, 0)).toPoint();
    const int beforePress = static_cast<int>(edits.count());
    QTest::mousePress(&window, Qt::LeftButton, {}, press);
    EXPECT_EQ(edits.count(), beforePress + 1);
    EXPECT_EQ(draft.boostExitCelsius(), valueAt(press.x()));
    EXPECT_GT(draft.boostExitCelsius(), 72);
    // The exit handle dragged past the enter handle stops one degree below it.
    QTest::mouseMove(&window, at(105, press.y()));
    QTest::mouseRelease(&window, Qt::LeftButton, {}, at(105, press.y()));
    EXPECT_EQ(draft.boostExitCelsius(), 88);
    EXPECT_EQ(draft.boostEnterCelsius(), 89);
    EXPECT_LT(sceneCentre(exitHandle).x(), sceneCentre(enterHandle).x());
}

TEST_F(SettingsCardViewTest, HandlesAreNamedAndAdjustedByOneDegreeForAssistiveTechnologies) {
    ASSERT_NE(load(Card::emergency, "en"), nullptr);
    auto* exitHandle = accessible(find("emergencyBand", "exitHandle"));
    auto* enterHandle = accessible(find("emergencyBand", "enterHandle"));
    ASSERT_TRUE(exitHandle && enterHandle);
    EXPECT_EQ(exitHandle->property("name").toString(),
              QStringLiteral("Return-to-Automatic temperature"));
    EXPECT_EQ(enterHandle->property("name").toString(), QStringLiteral("Fan start temperature"));
    EXPECT_EQ(enterHandle->property("description").toString(), QStringLiteral("90 degrees"));

    QMetaObject::invokeMethod(enterHandle, "increaseAction");
    EXPECT_EQ(draft.emergencyEnterCelsius(), 91);
    EXPECT_EQ(enterHandle->property("description").toString(), QStringLiteral("91 degrees"));
    for (int step = 0; step < 12; ++step) {
        QMetaObject::invokeMethod(exitHandle, "increaseAction");
    }
    EXPECT_EQ(draft.emergencyExitCelsius(), 90);
    QMetaObject::invokeMethod(enterHandle, "decreaseAction");
    EXPECT_EQ(draft.emergencyEnterCelsius(), 91);
    EXPECT_EQ(draft.emergencyExitCelsius(), 90);
}

TEST_F(SettingsCardViewTest, CountersDurationsAndTheAdvancedGroupWriteOnlyWhenUsed) {
    GuardSettings settings;
    settings.boostMinimumHoldSeconds = 105;
    settings.boostExitSamples = 60;
    draft.replace(settings);
    ASSERT_NE(load(Card::boost, "en", false), nullptr);
    auto* content = find("boostAdvanced", "disclosureContent");
    ASSERT_NE(content, nullptr);
    EXPECT_FALSE(content->isVisible());
    EXPECT_TRUE(view.grab(testsupport::testArtifact("boost-collapsed-en.png")));
    click(find("boostAdvanced", "disclosureHeader"));
    EXPECT_TRUE(QQmlProperty::read(view.root(), "expanded").toBool());
    EXPECT_TRUE(content->isVisible());
    EXPECT_EQ(draft.settings(), settings);
    // The window grows with the card, as the page's scroll area would.
    view.fitWindow();

    // The plus button at the upper bound is disabled; the minus button writes one less.
    auto* cooldownPlus = find("boostCooldownConfirmation", "increase");
    auto* cooldownMinus = find("boostCooldownConfirmation", "decrease");
    ASSERT_TRUE(cooldownPlus && cooldownMinus);
    EXPECT_FALSE(cooldownPlus->isEnabled());
    click(cooldownMinus);
    EXPECT_EQ(draft.settings().boostExitSamples, 59);
    EXPECT_TRUE(cooldownPlus->isEnabled());
    click(cooldownPlus);
    EXPECT_EQ(draft.settings().boostExitSamples, 60);

    // A duration that is no preset keeps its text until the slider moves, which writes a preset.
    auto* slider = find("boostMinimumRunTime", "slider");
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(text(find("boostMinimumRunTime", "valueText")), QStringLiteral("1 min 45 sec"));
    EXPECT_EQ(QQmlProperty::read(slider, "value").toDouble(), 5);
    const QPointF end = slider->mapToScene(QPointF(slider->width() - 1, slider->height() / 2));
    QTest::mouseClick(&view.window(), Qt::LeftButton, {}, end.toPoint());
    EXPECT_EQ(draft.boostMinimumHoldSeconds(), 1800);
    EXPECT_EQ(text(find("boostMinimumRunTime", "valueText")), QStringLiteral("30 min"));
    EXPECT_EQ(QQmlProperty::read(slider, "value").toDouble(), 11);
}

TEST_F(SettingsCardViewTest, ChoosingGPUChangesThePreviewButNotTheSavedSettings) {
    const GuardSettings saved;  // the model's: CPU, average
    draft.replace(saved);
    snapshot = core::SensorSnapshot{{{"TC0P", 70.0}, {"TC1P", 74.0}}, {{"TG0P", 81.5}}, {}};
    ASSERT_NE(load(Card::thermalDecision, "en"), nullptr);
    auto* reading = find("card", "reading");
    auto* detail = find("card", "detail");
    ASSERT_TRUE(reading && detail);
    EXPECT_EQ(text(reading), QStringLiteral("72.0°C"));
    EXPECT_EQ(text(detail), QStringLiteral("CPU · Average · Sensors: 2"));

    click(find("sourcePicker", "segment-gpu"));
    EXPECT_EQ(draft.temperatureSource(), QStringLiteral("gpu"));
    EXPECT_EQ(saved.temperatureSource, core::TemperatureSource::cpu);
    EXPECT_EQ(text(reading), QStringLiteral("81.5°C"));
    EXPECT_EQ(text(detail), QStringLiteral("GPU · Average · Sensors: 1"));
    EXPECT_EQ(text(find("boostBar", "temperatureText")), QStringLiteral("81.5"));
    click(find("aggregationPicker", "segment-hottest"));
    EXPECT_EQ(text(detail), QStringLiteral("GPU · Hottest · TG0P"));

    // A new snapshot moves the preview while the draft stays as it is.
    QSignalSpy edits(&draft, &ui::SettingsDraft::changed);
    snapshot->gpuTemperatures["TG0P"] = 95.31;
    emit previewSource.snapshotChanged();
    EXPECT_EQ(text(reading), QStringLiteral("95.3°C"));
    snapshot.reset();
    emit previewSource.snapshotChanged();
    EXPECT_EQ(text(reading), QStringLiteral("—"));
    EXPECT_EQ(text(detail), QStringLiteral("GPU · Hottest · waiting for data"));
    EXPECT_EQ(text(find("emergencyBar", "temperatureText")), QStringLiteral("—"));
    const auto* emergencyBar =
        QQmlProperty::read(find("card", "emergencyBar"), "presenter").value<QObject*>();
    ASSERT_NE(emergencyBar, nullptr);
    EXPECT_EQ(emergencyBar->property("fillWidth").toDouble(), 0);
    EXPECT_EQ(edits.count(), 0);

    // A new Boost start moves the Boost marker and its text at once.
    auto* marker = find("boostBar", "marker");
    auto* barTrack = find("boostBar", "track");
    draft.setBoostEnterBinding(75);
    EXPECT_EQ(text(find("boostBar", "thresholdText")), QStringLiteral("75°C"));
    EXPECT_NEAR(marker->x(), barTrack->width() * 35 / 70, 1e-9);
}

TEST_F(SettingsCardViewTest, ArabicMirrorsTheHeaderAndScaleRowsButNotTheTracks) {
    snapshot = core::SensorSnapshot{{{"TC0P", 75.0}}, {}, {}};
    for (const std::string language : {"en", "ar"}) {
        const bool arabic = language == "ar";
        ASSERT_NE(load(Card::boost, language), nullptr);
        EXPECT_EQ(sceneX(find("boostBand", "exitBadge")) > sceneX(find("boostBand", "enterBadge")),
                  arabic);
        EXPECT_EQ(sceneX(find("boostBand", "lowerEnd")) > sceneX(find("boostBand", "upperEnd")),
                  arabic);
        // The track runs from cool at the left to hot at the right.
        auto* track = find("boostBand", "track");
        EXPECT_LT(sceneX(find("boostBand", "exitHandle")),
                  sceneX(find("boostBand", "enterHandle")));
        EXPECT_NEAR(sceneX(find("boostBand", "band")) - sceneX(track),
                    9.5 + (track->width() - 19) * 32 / 70, 0.01);

        ASSERT_NE(load(Card::thermalDecision, language), nullptr);
        auto* fill = find("boostBar", "fill");
        auto* barTrack = find("boostBar", "track");
        EXPECT_DOUBLE_EQ(sceneX(fill), sceneX(barTrack));
        EXPECT_DOUBLE_EQ(fill->width(), barTrack->width() / 2);
        EXPECT_NEAR(sceneX(find("boostBar", "marker")) - sceneX(barTrack),
                    barTrack->width() * 40 / 70, 1e-9);
        // The live row reads from the disc to the badge in the language's direction.
        EXPECT_EQ(sceneX(find("card", "reading")) > sceneX(find("card", "liveBadge")), arabic);
    }
}

TEST_F(SettingsCardViewTest, TheSystemsReducedMotionMovesTheBarsFillAtOnce) {
    auto options = std::make_shared<fakes::FakeAccessibilityDisplayOptions>();
    auto display = std::make_unique<ui::AccessibilityDisplay>(options);
    ui::QmlEnvironment::provide(view.engine(), *display);
    auto* bar = view.load(R"(import Ventrella.UI
ThermalThresholdBar { title: "Boost"; icon: "fanblades"; threshold: 80; tint: "orange"; temperature: 40 })",
                          {}, 280);
    ASSERT_NE(bar, nullptr);
    auto* fill = view.find("fill");
    ASSERT_NE(fill, nullptr);
    EXPECT_EQ(fill->width(), 0);

    // The setting changes while the bar is shown; the change reaches it on the GUI thread.
    std::thread([&] { options->setReduceMotion(true); }).join();
    ASSERT_TRUE(uitest::QtTestApplication::processUntil(
        [&] { return QQmlProperty::read(bar, "reduceMotion").toBool(); }));
    bar->setProperty("temperature", 75.0);
    EXPECT_DOUBLE_EQ(fill->width(), 140);

    // With motion, the fill eases toward the new share instead of jumping to it.
    options->setReduceMotion(false);
    ASSERT_TRUE(uitest::QtTestApplication::processUntil(
        [&] { return !QQmlProperty::read(bar, "reduceMotion").toBool(); }));
    bar->setProperty("temperature", 110.0);
    EXPECT_LT(fill->width(), 280);
    EXPECT_TRUE(uitest::QtTestApplication::processUntil([&] { return fill->width() == 280; }, 2.0));

    // The views go before the display, which stops listening.
    view.load(QByteArray("import QtQuick\nItem {}"));
    display.reset();
    EXPECT_FALSE(options->observer);
}

}  // namespace
}  // namespace ventrella::uiviewtests
