// Removing the helper and exporting the diagnostic report.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using core::GuardMode;

class RemovalAndExportTests : public ModelTest {
  protected:
    std::size_t uninstallCalls() const {
        const auto entries = log->entries();
        return static_cast<std::size_t>(
            std::count(entries.begin(), entries.end(), std::string("installer.uninstall")));
    }
};

TEST_F(RemovalAndExportTests, TheHelperGoesOnlyOnceApplesAutomaticIsVerifiedThroughIt) {
    enum class Setup { ready, notReady, operationRunning, controlOn, owning };
    struct Case {
        const char* name;
        Setup setup;
        std::function<void()> answer;
        bool expectedUninstall;
        std::string expectedStatus;
        std::vector<std::string> expectedEvents;
        bool expectedInstalled;
        std::optional<GuardMode> expectedMode;
    };
    auto statusIs = [this](State state) {
        return [this, state] {
            shared::HelperStatus status;
            status.state = state;
            helper->reply(status);
            run("the status");
        };
    };
    const std::vector<Case> cases = {
        {"an operation runs",
         Setup::operationRunning,
         [this] { replyStatus(); },
         false,
         "Ventrella is active and monitoring the thresholds.",
         {"control.enabled"},
         true,
         {}},
        {"the helper is not ready",
         Setup::notReady,
         {},
         false,
         "Update the Helper to this version before removing it.",
         {},
         true,
         {}},
        {"the restore first fails",
         Setup::owning,
         [this] { failRequest("Ventrella Helper did not respond."); },
         false,
         "The Helper was not removed because Automatic mode could not be verified.",
         {"control.restore_failed"},
         true,
         GuardMode::fault(
             "Automatic mode could not be restored: Ventrella Helper did not respond.")},
        {"the fans are not automatic",
         Setup::ready,
         statusIs(State::manual),
         false,
         "The Helper was not removed because the fans are not in Automatic mode.",
         {},
         true,
         {}},
        {"the status request fails",
         Setup::ready,
         [this] { failRequest("Ventrella Helper did not respond."); },
         false,
         "Ventrella Helper did not respond.",
         {"helper.uninstall_failed"},
         true,
         GuardMode::fault("Ventrella Helper did not respond.")},
        {"the fans are in a fault",
         Setup::ready,
         statusIs(State::fault),
         false,
         "The Helper was not removed because the fans are not in Automatic mode.",
         {},
         true,
         {}},
        {"the removal fails part-way",
         Setup::ready,
         [this, statusIs] {
             installer->failNextUninstall(
                 core::VentrellaError::commandFailed("Helper removal was cancelled."));
             installer->installed = false;
             statusIs(State::automatic)();
         },
         true,
         "Helper removal was cancelled.",
         {"helper.uninstall_failed"},
         false,
         GuardMode::fault("Helper removal was cancelled.")},
        {"removed, control off",
         Setup::ready,
         statusIs(State::automatic),
         true,
         "Helper removed.",
         {"helper.uninstalled"},
         false,
         GuardMode::automatic()},
        {"removed, control on",
         Setup::controlOn,
         statusIs(State::automatic),
         true,
         "Helper removed.",
         {"control.disabled", "helper.uninstalled"},
         false,
         GuardMode::automatic()},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        renewFakes();
        installer->installed = true;
        helperApprovalPending = true;
        makeModel();
        // With control on, the helper becomes ready through the enable, which leaves the
        // approval pending, as after an approval given in System Settings.
        if (testCase.setup != Setup::notReady && testCase.setup != Setup::controlOn) {
            makeHelperReady();
        }
        if (testCase.setup == Setup::controlOn || testCase.setup == Setup::owning) {
            switchControlOn();
        }
        ASSERT_EQ(model->helperApprovalPending(),
                  testCase.setup == Setup::controlOn || testCase.setup == Setup::notReady);
        if (testCase.setup == Setup::owning) {
            ownLevel(0, 55);
        }
        if (testCase.setup == Setup::operationRunning) {
            reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
            model->requestControl(true);
            run("a control request");
        }
        const auto eventCount = events().size();
        const auto modeBefore = model->guardMode();
        const auto uninstallsBefore = uninstallCalls();

        model->uninstallHelper();
        run("the removal");
        if (testCase.answer) {
            testCase.answer();
        }
        EXPECT_EQ(helper->pendingCount(), 0U);
        EXPECT_FALSE(model->operationInProgress());
        EXPECT_EQ(uninstallCalls() - uninstallsBefore, testCase.expectedUninstall ? 1U : 0U);
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        auto recorded = eventsSince(eventCount);
        std::erase(recorded, "control.requested");
        EXPECT_EQ(recorded, testCase.expectedEvents);
        EXPECT_EQ(model->helperInstalled(), testCase.expectedInstalled);
        EXPECT_EQ(model->guardMode(), testCase.expectedMode.value_or(modeBefore));
        if (testCase.expectedMode == GuardMode::automatic()) {
            EXPECT_FALSE(model->helperReady());
            EXPECT_FALSE(model->helperApprovalPending());
        }
    }
}

TEST_F(RemovalAndExportTests, TheReportCarriesTheModelsStateAndTheOutcomeShowsInTheStatusLine) {
    struct Case {
        const char* name;
        bool withSnapshot;
        bool saved;
        bool fails;
        std::optional<GuardMode> shown;
        std::string expectedSensors;
        std::string expectedMode;
        std::string expectedStatus;
        std::vector<std::string> expectedEvents;
    };
    const std::string sensors = "cpu[2]=Tp01=61.0C,Tp05=61.0C | gpu[1]=Tg0f=56.0C";
    const std::vector<Case> cases = {
        {"saved, nothing read yet",
         false,
         true,
         false,
         {},
         "unavailable",
         "Apple Automatic",
         "Diagnostic report saved.",
         {"diagnostics.export_requested"}},
        {"cancelled",
         true,
         false,
         false,
         {},
         sensors,
         "Apple Automatic",
         "before",
         {"diagnostics.export_requested"}},
        {"failed",
         true,
         true,
         true,
         {},
         sensors,
         "Apple Automatic",
         "Diagnostic report could not be saved: The disk is full.",
         {"diagnostics.export_requested", "diagnostics.export_failed"}},
        {"a fault shown: its title only",
         true,
         true,
         false,
         GuardMode::fault("The helper is gone."),
         sensors,
         "Error",
         "Diagnostic report saved.",
         {"diagnostics.export_requested"}},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        sink->clear();
        makeModel();
        reportCoordinator->saved = testCase.saved;
        reportCoordinator->holdWrites = true;
        if (testCase.fails) {
            reportCoordinator->failNextExport(
                core::VentrellaError::commandFailed("The disk is full."));
        }
        if (testCase.withSnapshot) {
            peer->setLatestSensorSnapshot(snapshotAt(61));
            peer->setCurrentTemperature(61.0);
        }
        start(peer->disableControl("before"));
        if (testCase.shown) {
            peer->setGuardMode(*testCase.shown);
        }
        const auto eventCount = events().size();

        model->exportDiagnostics();
        run("the export");
        EXPECT_EQ(model->statusMessage(), "before") << "the model goes on while it is written";
        reportCoordinator->releaseWrites();
        run("the written report");
        EXPECT_EQ(model->statusMessage(), testCase.expectedStatus);
        EXPECT_EQ(eventsSince(eventCount), testCase.expectedEvents);
        if (testCase.fails) {
            const auto failed = sink->last("diagnostics.export_failed");
            EXPECT_EQ(failed->level, Level::error);
            EXPECT_EQ(failed->message, "The disk is full.");
        }
        const auto& context = reportCoordinator->contexts().back();
        EXPECT_EQ(context.appVersion, "2.5 (42)");
        EXPECT_EQ(context.macOSVersion, "Linux 6.1.0 (test)");
        EXPECT_EQ(context.hardware, "Detecting native SMC…");
        EXPECT_EQ(context.guardMode, testCase.expectedMode);
        EXPECT_FALSE(context.controlEnabled);
        EXPECT_FALSE(context.helperReady);
        EXPECT_EQ(context.temperatureCelsius,
                  testCase.withSnapshot ? std::optional(61.0) : std::nullopt);
        EXPECT_EQ(context.settings, model->settings());
        EXPECT_EQ(context.fans, model->fans());
        EXPECT_EQ(context.sensors, testCase.expectedSensors);
    }
}

}  // namespace
}  // namespace ventrella::modeltests
