#include "Support/FakeFanControlHelper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "Platform/Dispatch/ManualExecutor.h"
#include "Platform/Dispatch/TaskScope.h"
#include "Support/AwaitedOutcome.h"

namespace {

using namespace ventrella;
using fakes::FakeFanControlHelper;
using platform::dispatch::ManualExecutor;
using platform::dispatch::TaskScope;
using testsupport::AwaitedOutcome;
using testsupport::awaitInto;

TEST(FakeFanControlHelperTests, RequestsWaitUntilTheTestAnswersThemOneByOneInOrder) {
    ManualExecutor executor;
    FakeFanControlHelper helper;
    AwaitedOutcome<shared::HelperStatus> status;
    AwaitedOutcome<shared::FanControlResult> apply;
    TaskScope scope(executor);
    scope.spawn(awaitInto(helper.status(), &status));
    scope.spawn(awaitInto(helper.applyCooling(55), &apply));
    executor.runUntilIdle();
    ASSERT_EQ(helper.pendingCount(), 2U);
    EXPECT_EQ(helper.nextPending().request, FakeFanControlHelper::Request::status);

    // The oldest waits for a status: a result is the test's mistake and changes nothing.
    EXPECT_THROW(helper.reply(shared::FanControlResult{}), std::logic_error);
    shared::HelperStatus answered;
    answered.activePercentage = 55;
    helper.reply(answered);
    EXPECT_FALSE(status.finished()) << "goes on in a later step";
    executor.runUntilIdle();
    EXPECT_EQ(status.value, answered);
    EXPECT_FALSE(apply.finished());

    EXPECT_EQ(helper.nextPending().percentage, 55);
    helper.fail(core::VentrellaError::commandFailed("Ventrella Helper did not respond."));
    executor.runUntilIdle();
    EXPECT_EQ(apply.errorText(), "Ventrella Helper did not respond.");
    EXPECT_EQ(helper.pendingCount(), 0U);
    EXPECT_THROW(helper.fail(core::VentrellaError::commandFailed("none")), std::logic_error);
    EXPECT_EQ(helper.requests().size(), 2U);

    helper.restoreAutomaticSynchronously(4.0);
    helper.resetConnection();
    EXPECT_THAT(helper.synchronousRestoreTimeouts(), testing::ElementsAre(4.0));
    EXPECT_EQ(helper.resetCount(), 1);
}

TEST(FakeFanControlHelperTests, ALaterRequestCanBeAnsweredAheadOfOlderOnes) {
    ManualExecutor executor;
    FakeFanControlHelper helper;
    AwaitedOutcome<shared::FanControlResult> renewal;
    AwaitedOutcome<shared::FanControlResult> restore;
    AwaitedOutcome<shared::HelperStatus> status;
    TaskScope scope(executor);
    scope.spawn(awaitInto(helper.applyCooling(55), &renewal));
    scope.spawn(awaitInto(helper.restoreAutomatic(), &restore));
    scope.spawn(awaitInto(helper.status(), &status));
    executor.runUntilIdle();

    EXPECT_THROW(helper.replyAt(2, shared::FanControlResult{}), std::logic_error);
    EXPECT_THROW(helper.replyAt(3, shared::HelperStatus{}), std::logic_error);
    EXPECT_EQ(helper.pendingAt(1).request, FakeFanControlHelper::Request::restoreAutomatic);
    helper.replyAt(1, shared::FanControlResult{});
    helper.replyAt(1, shared::HelperStatus{});
    executor.runUntilIdle();
    EXPECT_TRUE(restore.value);
    EXPECT_TRUE(status.value);
    EXPECT_FALSE(renewal.finished());
    ASSERT_EQ(helper.pendingCount(), 1U);
    EXPECT_EQ(helper.nextPending().percentage, 55);
}

}  // namespace
