#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

#include "ControllerFixture.h"
#include "VentrellaShared/HelperContractJSON.h"

namespace ventrella::helper::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::size_t countOf(const std::vector<std::string>& entries, const std::string& entry) {
    return static_cast<std::size_t>(std::count(entries.begin(), entries.end(), entry));
}

shared::FanControlResult decodeResult(const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    auto reply = shared::decodeFanControlResultReply(bytes);
    if (!reply.payload())
        throw std::runtime_error("no payload: " + text);
    return *reply.payload();
}

TEST(SMCControllerTest, RequestsAreAnsweredOneAfterAnotherInQueueOrder) {
    ControllerFixture fixture;
    auto controller = fixture.make(false);
    ReplyRecorder replies;

    std::promise<void> started;
    std::promise<void> release;
    auto released = release.get_future().share();
    bool first = true;
    fixture.hardware->onCall = [&](const std::string& call) {
        if (first && call == "hardware.validateControlSupport") {
            first = false;
            started.set_value();
            released.wait();
        }
    };

    controller->applyCooling(60, replies.block("apply"));
    started.get_future().wait();
    // Submitted while the apply is still running: it must wait for it.
    controller->status(replies.block("status"));
    controller->restoreAutomatic(replies.block("restore"));
    EXPECT_TRUE(replies.names().empty());
    release.set_value();
    ControllerFixture::drain(*controller);

    EXPECT_THAT(replies.names(), ElementsAre("apply", "status", "restore"));
    auto texts = replies.texts();
    EXPECT_EQ(decodeResult(texts[0]).appliedPercentage, 60);
    EXPECT_THAT(texts[1], HasSubstr(R"("activePercentage":60)"));
    EXPECT_EQ(decodeResult(texts[2]).state, shared::HelperControlState::automatic);
}

TEST(SMCControllerTest, EngineErrorsBecomeErrorReplies) {
    ControllerFixture fixture;
    auto controller = fixture.make(false);
    ReplyRecorder replies;

    controller->applyCooling(39, replies.block("low"));
    controller->applyCooling(101, replies.block("high"));
    ControllerFixture::drain(*controller);

    const std::string refused =
        R"({"protocolVersion":4,"errorMessage":"Fan percentage must be between 40 and 100."})";
    EXPECT_THAT(replies.texts(), ElementsAre(refused, refused));
    EXPECT_TRUE(fixture.marker->percentage == std::nullopt);
}

TEST(SMCControllerTest, WatchdogRestoresThirtySecondsAfterTheLastArm) {
    ControllerFixture fixture;
    auto controller = fixture.make(false);
    ReplyRecorder replies;

    controller->applyCooling(60, replies.block("apply"));
    ControllerFixture::drain(*controller);
    ASSERT_TRUE(fixture.marker->marked);
    EXPECT_EQ(fixture.timers.nextDeadline(), 30.0);

    fixture.timers.advance(20);
    controller->applyCooling(60, replies.block("renew"));
    ControllerFixture::drain(*controller);
    // The renewal pushed the firing back to 30 s after it.
    EXPECT_EQ(fixture.timers.nextDeadline(), 50.0);

    fixture.timers.advance(29.9);
    EXPECT_EQ(countOf(fixture.log->entries(), "hardware.restoreAutomatic"), 0U);
    EXPECT_TRUE(fixture.marker->marked);

    fixture.timers.advance(0.1);
    EXPECT_EQ(countOf(fixture.log->entries(), "hardware.restoreAutomatic"), 1U);
    EXPECT_FALSE(fixture.marker->marked);
    EXPECT_EQ(fixture.timers.pendingCount(), 0U);

    controller->status(replies.block("status"));
    ControllerFixture::drain(*controller);
    EXPECT_THAT(replies.texts().back(), ::testing::Not(HasSubstr("activePercentage")));
}

TEST(SMCControllerTest, FailingWatchdogRestoreIsRetriedEveryThirtySecondsWhileMarked) {
    ControllerFixture fixture;
    auto controller = fixture.make(false);
    ReplyRecorder replies;
    controller->applyCooling(60, replies.block("apply"));
    ControllerFixture::drain(*controller);

    fixture.hardware->failNext("restoreAutomatic", std::runtime_error("SMC busy"));
    fixture.hardware->failNext("restoreAutomatic", std::runtime_error("SMC busy"));

    fixture.timers.advance(30);
    EXPECT_EQ(countOf(fixture.log->entries(), "hardware.restoreAutomatic"), 1U);
    EXPECT_TRUE(fixture.marker->marked);
    EXPECT_EQ(fixture.timers.nextDeadline(), 60.0);

    fixture.timers.advance(30);
    EXPECT_EQ(countOf(fixture.log->entries(), "hardware.restoreAutomatic"), 2U);
    EXPECT_EQ(fixture.timers.nextDeadline(), 90.0);

    fixture.timers.advance(30);
    EXPECT_EQ(countOf(fixture.log->entries(), "hardware.restoreAutomatic"), 3U);
    EXPECT_FALSE(fixture.marker->marked);

    // Verified: nothing left to retry.
    fixture.timers.advance(120);
    EXPECT_EQ(countOf(fixture.log->entries(), "hardware.restoreAutomatic"), 3U);
    EXPECT_EQ(fixture.timers.firedCount(), 3U);
}

TEST(SMCControllerTest, StartUpRecoveryRunsOnlyWhenAskedAndMarked) {
    struct Case {
        bool recover;
        bool marked;
        std::size_t restores;
    };
    for (const auto& c : {Case{true, true, 1}, Case{true, false, 0}, Case{false, true, 0}}) {
        ControllerFixture fixture;
        fixture.marker->marked = c.marked;
        auto controller = fixture.make(c.recover);
        ControllerFixture::drain(*controller);
        EXPECT_EQ(countOf(fixture.log->entries(), "hardware.restoreAutomatic"), c.restores)
            << "recover=" << c.recover << " marked=" << c.marked;
        if (c.restores == 1) {
            EXPECT_FALSE(fixture.marker->marked);
        }
    }
}

TEST(SMCControllerTest, FailedRecoveryLeavesTheWatchdogToRetry) {
    ControllerFixture fixture;
    fixture.marker->marked = true;
    fixture.hardware->failNext("restoreAutomatic", std::runtime_error("SMC busy"));
    auto controller = fixture.make(true);
    ControllerFixture::drain(*controller);
    EXPECT_TRUE(fixture.marker->marked);
    ASSERT_EQ(fixture.timers.nextDeadline(), 30.0);

    fixture.timers.advance(30);
    EXPECT_FALSE(fixture.marker->marked);
}

TEST(SMCControllerTest, RestoreForUninstallRunsSynchronouslyAndRethrows) {
    ControllerFixture fixture;
    auto controller = fixture.make(false);
    fixture.marker->marked = true;
    auto result = controller->restoreForUninstall();
    EXPECT_EQ(result.state, shared::HelperControlState::automatic);
    EXPECT_FALSE(fixture.marker->marked);

    fixture.hardware->failNext("restoreAutomatic", std::runtime_error("SMC busy"));
    EXPECT_THROW(
        {
            try {
                controller->restoreForUninstall();
            } catch (const std::runtime_error& error) {
                EXPECT_STREQ(error.what(), "SMC busy");
                throw;
            }
        },
        std::runtime_error);
}

TEST(SMCControllerTest, NonFiniteSpeedGivesTheFixedFallbackReply) {
    ControllerFixture fixture;
    fixture.hardware->fans[1].actualRPM = std::numeric_limits<double>::quiet_NaN();
    auto controller = fixture.make(false);
    ReplyRecorder replies;
    controller->status(replies.block("status"));
    ControllerFixture::drain(*controller);

    const auto texts = replies.texts();
    ASSERT_EQ(texts.size(), 1U);
    EXPECT_EQ(
        texts[0],
        R"({"protocolVersion":4,"errorMessage":"The Helper response could not be encoded."})");
    auto bytes = std::vector<std::uint8_t>(texts[0].begin(), texts[0].end());
    auto decoded = shared::decodeHelperStatusReply(bytes);
    EXPECT_EQ(decoded.protocolVersion(), 4);
    EXPECT_EQ(decoded.errorMessage(), "The Helper response could not be encoded.");
}

}  // namespace
}  // namespace ventrella::helper::testing
