// Quitting and the model's last step when the application ends.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "HelperClientTests/FakeHelperService.h"
#include "Support/VirtualTimeoutScheduler.h"
#include "Ventrella/Hardware/HelperClient.h"
#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::modeltests {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

class TerminationTests : public ModelTest {};

TEST_F(TerminationTests, QuitRestoresFirstThenTerminatesWhateverOperationRuns) {
    for (const bool owning : {true, false}) {
        SCOPED_TRACE(owning ? "owning" : "while a removal waits");
        renewFakes();
        terminations = 0;
        makeModel();
        makeHelperReady();
        if (owning) {
            switchControlOn();
            ownLevel(0, 55);
        } else {
            model->uninstallHelper();
            run("a removal");
            ASSERT_TRUE(model->operationInProgress());
        }
        const auto requests = requestCount();

        model->quit();
        run("quitting");
        if (owning) {
            EXPECT_EQ(terminations, 0) << "not before Apple Automatic is back";
            ASSERT_EQ(nextRequest(), Request::restoreAutomatic);
            reply(State::automatic, fansIn(Mode::automatic));
            EXPECT_FALSE(peer->ownsManualControl());
        }
        EXPECT_EQ(terminations, 1);
        EXPECT_EQ(model->statusMessage(), "Quitting…");
        EXPECT_EQ(requestCount(), requests + (owning ? 1 : 0));
        EXPECT_EQ(sink->last("control.disabled")->message, "Quitting…");
    }
}

TEST_F(TerminationTests, TerminationStopsTheTasksAndRestoresWhenATargetMayBeOnTheFans) {
    enum class Holding { nothing, owning, applyUnderWay, uncertain };
    struct Case {
        const char* name;
        Holding holding;
        bool expectedRestore;
    };
    const std::vector<Case> cases = {
        {"nothing held", Holding::nothing, false},
        {"owning", Holding::owning, true},
        {"an apply under way", Holding::applyUnderWay, true},
        {"a failed apply whose restore failed", Holding::uncertain, true},
    };
    for (const auto& testCase : cases) {
        SCOPED_TRACE(testCase.name);
        renewFakes();
        drains.clear();
        makeModel();
        startMonitoringWith({snapshotAt(60)});
        switchControlOn();
        switch (testCase.holding) {
            case Holding::nothing:
                break;
            case Holding::owning:
                ownLevel(0, 55);
                break;
            case Holding::applyUnderWay:
                start(peer->apply(boostDecision(), peer->controlEpoch()));
                break;
            case Holding::uncertain:
                start(peer->apply(boostDecision(), peer->controlEpoch()));
                failRequest("Ventrella Helper did not respond.");
                failRequest("Ventrella Helper did not respond.");
                ASSERT_TRUE(peer->manualStateUncertain());
                break;
        }
        auto edited = model->settings();
        edited.launchAtLogin = true;
        model->saveSettings(edited);
        run("a save");
        ASSERT_EQ(model->statusMessage(), "Settings saved.");
        const auto reads = reader->snapshotCalls();

        model->applicationWillTerminate();
        const auto terminating = sink->records().back();
        EXPECT_EQ(terminating.event, "app.terminating");
        EXPECT_EQ(terminating.level, Level::info);
        EXPECT_EQ(terminating.metadata.at("control_enabled"), "true");
        if (testCase.expectedRestore) {
            EXPECT_THAT(helper->synchronousRestoreTimeouts(), ElementsAre(4.0));
        } else {
            EXPECT_THAT(helper->synchronousRestoreTimeouts(), IsEmpty());
        }
        EXPECT_THAT(drains, ElementsAre(Drain{1.0, testCase.expectedRestore ? 1U : 0U}))
            << "the log is drained last";

        advance(10.0);
        EXPECT_TRUE(peer->monitorTask().isFinished());
        EXPECT_EQ(reader->snapshotCalls(), reads);
        EXPECT_EQ(model->statusMessage(), "Settings saved.") << "its clearing was cancelled";
    }
}

TEST_F(TerminationTests, AgainstAHelperThatNeverAnswersTerminationReturnsWithinAboutFourSeconds) {
    helperclienttests::FakeHelperService silent;
    helperLink = std::make_shared<apphardware::HelperClient>(
        silent.factory(), std::make_shared<fakes::VirtualTimeoutScheduler>(executor));
    makeModel();
    // A cooling request that is never answered: the fans may get its target after termination.
    start(peer->apply(boostDecision(), peer->controlEpoch()));
    ASSERT_EQ(silent.requestCount(), 1U);

    const auto began = std::chrono::steady_clock::now();
    model->applicationWillTerminate();
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    EXPECT_GE(took, 3.9);
    EXPECT_LT(took, 5.0);
    ASSERT_EQ(silent.requestCount(), 2U);
    EXPECT_EQ(silent.request(1)->selector, "restoreAutomaticWithReply:");
}

}  // namespace
}  // namespace ventrella::modeltests
