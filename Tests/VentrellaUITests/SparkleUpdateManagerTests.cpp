#include "Ventrella/UI/SparkleUpdateManager.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "Platform/Dispatch/ManualExecutor.h"
#include "Platform/Foundation/InfoDictionary.h"
#include "Support/FakeUpdater.h"
#include "Ventrella/UI/InertUpdater.h"

namespace ventrella::ui {
namespace {

using fakes::FakeUpdater;
using platform::dispatch::ManualExecutor;
using platform::foundation::InfoDictionary;

InfoDictionary plistWith(const std::string& entry) {
    return InfoDictionary::parse(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>)" + entry +
                                 "</dict></plist>");
}

class SparkleUpdateManagerTest : public testing::Test {
  protected:
    std::unique_ptr<SparkleUpdateManager> make(const InfoDictionary& info,
                                               std::optional<bool> startingUpdater = std::nullopt,
                                               std::optional<bool> feed = std::nullopt) {
        return std::make_unique<SparkleUpdateManager>(
            executor, [this] { return std::make_unique<FakeUpdater>(updater); }, info,
            startingUpdater, feed);
    }

    ManualExecutor executor;
    std::shared_ptr<FakeUpdater::State> updater = std::make_shared<FakeUpdater::State>();
};

TEST_F(SparkleUpdateManagerTest, TheFeedFlagIsABooleanOfInfoPlistAndDecidesTheStart) {
    const struct {
        std::string entry;
        std::optional<bool> startingUpdater;
        std::optional<bool> feed;
        bool feedEnabled;
        bool started;
    } cases[] = {
        {"", std::nullopt, std::nullopt, false, false},
        {"<key>VentrellaUpdateFeedEnabled</key><string>true</string>", std::nullopt, std::nullopt,
         false, false},
        {"<key>VentrellaUpdateFeedEnabled</key><integer>1</integer>", std::nullopt, std::nullopt,
         false, false},
        {"<key>VentrellaUpdateFeedEnabled</key><false/>", std::nullopt, std::nullopt, false, false},
        {"<key>VentrellaUpdateFeedEnabled</key><true/>", std::nullopt, std::nullopt, true, true},
        // Starting the updater explicitly leaves the flag alone.
        {"", true, std::nullopt, false, true},
        {"<key>VentrellaUpdateFeedEnabled</key><true/>", false, std::nullopt, true, false},
        // A flag given outright wins over Info.plist.
        {"<key>VentrellaUpdateFeedEnabled</key><true/>", std::nullopt, false, false, false},
        {"", std::nullopt, true, true, true},
    };
    for (const auto& c : cases) {
        updater = std::make_shared<FakeUpdater::State>();
        const auto manager = make(plistWith(c.entry), c.startingUpdater, c.feed);
        EXPECT_EQ(manager->updateFeedEnabled(), c.feedEnabled) << c.entry;
        EXPECT_EQ(updater->started, c.started) << c.entry;
    }
}

TEST_F(SparkleUpdateManagerTest, CanCheckArrivesOnTheMainLoopOnlyAndFollowsTheUpdater) {
    updater->canCheck = true;
    const auto manager = make(plistWith("<key>VentrellaUpdateFeedEnabled</key><true/>"));
    QSignalSpy changed(manager.get(), &SparkleUpdateManager::canCheckForUpdatesChanged);
    EXPECT_FALSE(manager->canCheckForUpdates());

    executor.runUntilIdle();
    EXPECT_TRUE(manager->canCheckForUpdates());
    EXPECT_EQ(changed.count(), 1);

    // A change on the updater's own thread waits for the main loop.
    std::thread([this] { updater->setCanCheckForUpdates(false); }).join();
    EXPECT_TRUE(manager->canCheckForUpdates());
    executor.runUntilIdle();
    EXPECT_FALSE(manager->canCheckForUpdates());
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(SparkleUpdateManagerTest, ValuesStillOnTheWayWhenTheManagerGoesAreDropped) {
    updater->canCheck = true;
    auto manager = make(plistWith(""));
    updater->setCanCheckForUpdates(false);
    manager.reset();
    EXPECT_FALSE(updater->hasObserver());
    EXPECT_EQ(executor.runUntilIdle(), 2u);
}

TEST_F(SparkleUpdateManagerTest, ForwardsChecksAndTheAutomaticCheckPreference) {
    const auto manager = make(plistWith(""));
    QSignalSpy changed(manager.get(), &SparkleUpdateManager::automaticallyChecksForUpdatesChanged);
    manager->setAutomaticallyChecksForUpdates(true);
    manager->setAutomaticallyChecksForUpdates(true);
    EXPECT_TRUE(updater->automaticallyChecks);
    EXPECT_TRUE(manager->automaticallyChecksForUpdates());
    EXPECT_EQ(changed.count(), 1);
    manager->checkForUpdates();
    EXPECT_EQ(updater->checks, 1);
}

TEST(InertUpdater, NeverOffersACheckAndKeepsThePreferenceInMemory) {
    ManualExecutor executor;
    SparkleUpdateManager manager(
        executor, [] { return std::make_unique<InertUpdater>(); }, InfoDictionary(),
        /*startingUpdater=*/true);
    executor.runUntilIdle();
    EXPECT_FALSE(manager.canCheckForUpdates());
    EXPECT_FALSE(manager.updateFeedEnabled());
    manager.setAutomaticallyChecksForUpdates(true);
    EXPECT_TRUE(manager.automaticallyChecksForUpdates());
    manager.checkForUpdates();
    EXPECT_FALSE(manager.canCheckForUpdates());
}

}  // namespace
}  // namespace ventrella::ui
