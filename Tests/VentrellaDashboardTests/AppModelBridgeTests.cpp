#include "Ventrella/UI/AppModelBridge.h"

#include <QSignalSpy>

#include "DashboardTest.h"

namespace ventrella::dashboardtests {
namespace {

class AppModelBridgeTest : public DashboardTest {};

TEST_F(AppModelBridgeTest, ReportsEachWrittenFieldInALaterStepThenOneChange) {
    makeBridge(false);
    QSignalSpy temperature(bridge.get(), &ui::AppModelBridge::currentTemperatureChanged);
    QSignalSpy prompt(bridge.get(), &ui::AppModelBridge::helperApprovalPromptPresentedChanged);
    QSignalSpy control(bridge.get(), &ui::AppModelBridge::controlEnabledChanged);
    QSignalSpy changed(bridge.get(), &ui::AppModelBridge::changed);
    double seen = 0;
    QObject::connect(bridge.get(), &ui::AppModelBridge::currentTemperatureChanged,
                     [&] { seen = bridge->currentTemperature().toDouble(); });

    peer->setCurrentTemperature(70.0);
    peer->setCurrentTemperature(71.5);
    model->setHelperApprovalPromptPresented(true);
    EXPECT_EQ(changed.count(), 0) << "reported while the model was still writing";
    run("the report");
    EXPECT_EQ(temperature.count(), 1);
    EXPECT_EQ(prompt.count(), 1);
    EXPECT_EQ(control.count(), 0);
    EXPECT_EQ(changed.count(), 1);
    // Whoever reacts reads the value after the last write.
    EXPECT_EQ(seen, 71.5);
    EXPECT_TRUE(bridge->helperApprovalPromptPresented());

    // A write of the same value is reported too: the model announces every write.
    peer->setCurrentTemperature(71.5);
    run("the same value again");
    EXPECT_EQ(temperature.count(), 2);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(AppModelBridgeTest, ShowsTheFieldsInTheViewsTermsAndCallsTheModel) {
    makeBridge(true, {modeltests::fan(0, Mode::manual, 3120.4)});
    EXPECT_EQ(bridge->guardMode(), "automatic");
    EXPECT_EQ(bridge->guardModeTitle(), "Apple Automatic");
    EXPECT_FALSE(bridge->currentTemperature().isValid());
    EXPECT_EQ(bridge->hottestSensor(), "—");
    const QVariantList fans = bridge->fans();
    ASSERT_EQ(fans.size(), 1);
    const QVariantMap first = fans.front().toMap();
    EXPECT_EQ(first.value("id").toLongLong(), 0);
    EXPECT_EQ(first.value("mode").toString(), "manual");
    EXPECT_DOUBLE_EQ(first.value("actualRPM").toDouble(), 3120.4);
    const QVariantMap capabilities = bridge->hardwareCapabilities().toMap();
    EXPECT_EQ(capabilities.value("model").toString(), "Mac15,6");
    EXPECT_TRUE(capabilities.value("canControl").toBool());
    EXPECT_FALSE(capabilities.value("reason").isValid());
    EXPECT_TRUE(bridge->helperReady());
    EXPECT_TRUE(bridge->externalManualDetected());
    EXPECT_TRUE(bridge->canTakeOverControl());
    EXPECT_EQ(bridge->appLanguage(), "en");
    EXPECT_EQ(bridge->settings().value("boostEnterCelsius").toDouble(), 80.0);
    EXPECT_EQ(bridge->settings().value("temperatureSource").toString(), "cpu");
    EXPECT_EQ(bridge->menuTitle(), "Fan");
    EXPECT_EQ(bridge->menuSymbol(), "thermometer.medium");
    EXPECT_FALSE(bridge->latestSensorSnapshot().isValid());

    bridge->setHelperApprovalPromptPresented(true);
    EXPECT_TRUE(model->helperApprovalPromptPresented());
    bridge->openHelperApprovalSettings();
    EXPECT_EQ(settingsOpener->loginItemsOpened.load(), 1);
    bridge->requestTakeover();
    run("the takeover");
    ASSERT_GT(helper->pendingCount(), 0u);
    EXPECT_EQ(nextRequest(), modeltests::Request::prepareTakeover);
    bridge->exportDiagnostics();
    ASSERT_EQ(reportCoordinator->contexts().size(), 1u);
    EXPECT_EQ(reportCoordinator->contexts().back().appVersion, "2.5 (42)");
}

TEST_F(AppModelBridgeTest, AReportDueAfterTheBridgeWentIsDropped) {
    makeBridge(false);
    peer->setCurrentTemperature(65.0);
    bridge.reset();
    run("the report of a bridge that is gone");
    // Writes go on without an observer.
    peer->setCurrentTemperature(66.0);
    run("a later write");
    EXPECT_EQ(model->currentTemperature(), 66.0);
}

}  // namespace
}  // namespace ventrella::dashboardtests
