#include "SMCFanKit/FanArbitrator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Support/ScopedCapturingLogBackend.h"

namespace {

using ventrella::fan::ClaimDecision;
using ventrella::fan::ClientID;
using ventrella::fan::FanArbitrator;
using ventrella::fan::FanOwnershipSnapshotRow;
using ventrella::testsupport::ScopedCapturingLogBackend;
using namespace std::chrono_literals;

const ventrella::fan::FanArbitratorDate start{std::chrono::seconds(1'700'000'000)};

class FanArbitratorTest : public ::testing::Test {
  protected:
    ScopedCapturingLogBackend log;
    FanArbitrator arbitrator{30};
    ClientID app = arbitrator.newClientID();
    ClientID tool = arbitrator.newClientID();

    void SetUp() override {
        arbitrator.registerClientName("app", app);
        arbitrator.registerClientName("tool", tool);
        log.clear();
    }
};

TEST_F(FanArbitratorTest, InitLogsTheTimeToLive) {
    ScopedCapturingLogBackend capture;
    FanArbitrator other(12.5);
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].category, "FanArbitrator");
    EXPECT_EQ(lines[0].level, ventrella::applog::LogLevel::notice);
    EXPECT_EQ(lines[0].text, "arbitrator.init owner_ttl=12.5");
}

TEST_F(FanArbitratorTest, FreshHigherPriorityOwnerKeepsTheFan) {
    EXPECT_EQ(arbitrator.decideClaim(0, 5, app, start), ClaimDecision::accepted("app"));
    EXPECT_EQ(arbitrator.decideClaim(0, 4, tool, start + 10s), ClaimDecision::rejected("app", 5));
    // The rejected claim changed nothing.
    EXPECT_EQ(arbitrator.getOwnershipSnapshot(start + 10s),
              (std::vector<FanOwnershipSnapshotRow>{{0, "app", 5, 10.0}}));
    // Equal priority takes the fan over.
    EXPECT_EQ(arbitrator.decideClaim(0, 5, tool, start + 11s), ClaimDecision::accepted("tool"));
    EXPECT_EQ(arbitrator.getOwnershipSnapshot(start + 11s),
              (std::vector<FanOwnershipSnapshotRow>{{0, "tool", 5, 0.0}}));
}

TEST_F(FanArbitratorTest, OwnerLosesTheFanOnceItsClaimIsStale) {
    ASSERT_TRUE(arbitrator.decideClaim(1, 100, app, start).isAccepted());
    EXPECT_EQ(arbitrator.decideClaim(1, -5, tool, start + 29999ms),
              ClaimDecision::rejected("app", 100));
    // Exactly the time-to-live old is stale.
    EXPECT_EQ(arbitrator.decideClaim(1, -5, tool, start + 30s), ClaimDecision::accepted("tool"));
}

TEST_F(FanArbitratorTest, OwnerRefreshesItsOwnClaimAtAnyPriority) {
    ASSERT_TRUE(arbitrator.decideClaim(2, 9, app, start).isAccepted());
    EXPECT_EQ(arbitrator.decideClaim(2, 1, app, start + 25s), ClaimDecision::accepted("app"));
    // The refresh renewed the time and lowered the priority.
    EXPECT_EQ(arbitrator.decideClaim(2, 0, tool, start + 40s), ClaimDecision::rejected("app", 1));
    EXPECT_TRUE(arbitrator.decideClaim(2, 1, tool, start + 40s).isAccepted());
}

TEST_F(FanArbitratorTest, UnregisteredClientsAreNamedSoAndNamesCanBeReplaced) {
    const ClientID anonymous = arbitrator.newClientID();
    EXPECT_EQ(arbitrator.decideClaim(3, 0, anonymous, start),
              ClaimDecision::accepted("<unregistered>"));
    arbitrator.registerClientName("renamed", app);
    EXPECT_EQ(arbitrator.decideClaim(4, 0, app, start), ClaimDecision::accepted("renamed"));
    EXPECT_EQ(arbitrator.decideClaim(3, -1, app, start + 1s),
              ClaimDecision::rejected("<unregistered>", 0));
}

TEST_F(FanArbitratorTest, ReleaseOnlyByTheOwner) {
    ASSERT_TRUE(arbitrator.decideClaim(0, 5, app, start).isAccepted());
    arbitrator.releaseOwnership(0, tool);
    EXPECT_EQ(arbitrator.getOwnershipSnapshot(start).size(), 1u);
    arbitrator.releaseOwnership(7, app);  // not owned at all
    EXPECT_EQ(arbitrator.getOwnershipSnapshot(start).size(), 1u);
    arbitrator.releaseOwnership(0, app);
    EXPECT_TRUE(arbitrator.getOwnershipSnapshot(start).empty());
    EXPECT_TRUE(arbitrator.decideClaim(0, -100, tool, start).isAccepted());
}

TEST_F(FanArbitratorTest, CleanupReleasesTheClientsFansAndLogsThem) {
    ASSERT_TRUE(arbitrator.decideClaim(5, 1, app, start).isAccepted());
    ASSERT_TRUE(arbitrator.decideClaim(0, 1, app, start).isAccepted());
    ASSERT_TRUE(arbitrator.decideClaim(2, 1, tool, start).isAccepted());
    ASSERT_TRUE(arbitrator.decideClaim(12, 1, app, start).isAccepted());

    arbitrator.cleanupClient(app);
    EXPECT_EQ(log.texts("FanArbitrator"),
              std::vector<std::string>{"arbitrator.ownership_released client=app fans=0,5,12"});
    EXPECT_EQ(log.lines().at(0).level, ventrella::applog::LogLevel::info);
    EXPECT_EQ(arbitrator.getOwnershipSnapshot(start + 1s),
              (std::vector<FanOwnershipSnapshotRow>{{2, "tool", 1, 1.0}}));
    // The name went with the client.
    EXPECT_EQ(arbitrator.decideClaim(9, 0, app, start), ClaimDecision::accepted("<unregistered>"));

    log.clear();
    arbitrator.cleanupClient(app);  // now owns fan 9 and has no name
    EXPECT_EQ(log.texts("FanArbitrator"),
              std::vector<std::string>{"arbitrator.ownership_released client=<unknown> fans=9"});
}

TEST_F(FanArbitratorTest, CleanupOfAClientOwningNothingWritesNoLine) {
    arbitrator.cleanupClient(tool);
    arbitrator.cleanupClient(arbitrator.newClientID());
    EXPECT_TRUE(log.lines().empty());
    // The name is gone even though nothing was logged.
    EXPECT_EQ(arbitrator.decideClaim(0, 0, tool, start), ClaimDecision::accepted("<unregistered>"));
}

TEST_F(FanArbitratorTest, SnapshotIsSortedByFanWithAges) {
    ASSERT_TRUE(arbitrator.decideClaim(3, 2, tool, start).isAccepted());
    ASSERT_TRUE(arbitrator.decideClaim(1, 7, app, start + 1500ms).isAccepted());
    EXPECT_EQ(arbitrator.getOwnershipSnapshot(start + 4s),
              (std::vector<FanOwnershipSnapshotRow>{{1, "app", 7, 2.5}, {3, "tool", 2, 4.0}}));
}

TEST_F(FanArbitratorTest, NewClientNeverInheritsADepartedClientsFans) {
    // A client leaves without cleanup while its claim is still fresh.
    ClientID departed = arbitrator.newClientID();
    arbitrator.registerClientName("departed", departed);
    ASSERT_TRUE(arbitrator.decideClaim(0, 10, departed, start).isAccepted());

    std::set<ClientID> issued{app, tool, departed};
    for (int i = 0; i < 1000; ++i) {
        EXPECT_TRUE(issued.insert(arbitrator.newClientID()).second);
    }
    const ClientID newcomer = arbitrator.newClientID();
    EXPECT_EQ(arbitrator.decideClaim(0, 1, newcomer, start + 1s),
              ClaimDecision::rejected("departed", 10));
    arbitrator.releaseOwnership(0, newcomer);
    EXPECT_EQ(arbitrator.getOwnershipSnapshot(start + 1s).size(), 1u);
}

TEST_F(FanArbitratorTest, ConcurrentClaimsLeaveOneConsistentOwnerPerFan) {
    constexpr int kThreads = 4;
    constexpr int kFans = 8;
    std::vector<ClientID> clients;
    for (int i = 0; i < kThreads; ++i) {
        clients.push_back(arbitrator.newClientID());
        arbitrator.registerClientName("client" + std::to_string(i), clients.back());
    }
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 500; ++round) {
                arbitrator.decideClaim(static_cast<std::uint64_t>(round % kFans), t, clients[t],
                                       start + std::chrono::milliseconds(round));
                if (round % 50 == 0) {
                    arbitrator.getOwnershipSnapshot(start);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto rows = arbitrator.getOwnershipSnapshot(start + 1s);
    ASSERT_EQ(rows.size(), static_cast<std::size_t>(kFans));
    for (const auto& row : rows) {
        // Every name matches its priority: no row mixes two clients.
        EXPECT_EQ(row.clientName, "client" + std::to_string(row.priority));
    }
}

}  // namespace
