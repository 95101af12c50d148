#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ControllerFixture.h"
#include "Support/ScopedCapturingLogBackend.h"
#include "VentrellaHelper/HelperCommandLine.h"
#include "VentrellaHelper/HelperError.h"

namespace ventrella::helper::testing {
namespace {

using ::testing::ElementsAre;

TEST(HelperCommandLineTest, OnlyTheSingleExactArgumentRestores) {
    EXPECT_EQ(helperCommand({"--restore-automatic"}), HelperCommand::restoreAutomatic);
    EXPECT_EQ(helperCommand({}), HelperCommand::daemon);
    EXPECT_EQ(helperCommand({"--restore-automatic", "now"}), HelperCommand::daemon);
    EXPECT_EQ(helperCommand({"--Restore-Automatic"}), HelperCommand::daemon);
    EXPECT_EQ(helperCommand({"--restore-automatic="}), HelperCommand::daemon);
}

// The entry over fakes: records which controllers it made and whether it served.
struct EntryFixture {
    ControllerFixture controllers;
    std::vector<bool> made;  // shouldRecover of each controller made
    bool served = false;
    bool refreshed = false;
    std::function<ServiceClaim()> claim = [] { return ServiceClaim::claimed; };
    std::function<void()> refresh = [] {};

    HelperEntry entry() {
        return HelperEntry{
            [this] { return claim(); },
            [this] {
                refreshed = true;
                refresh();
            },
            [this] { return controllers.marker->marked; },
            [this](bool shouldRecover) {
                made.push_back(shouldRecover);
                return controllers.make(shouldRecover);
            },
            [this](std::shared_ptr<SMCController> controller) {
                served = true;
                ControllerFixture::drain(*controller);
                return 0;
            },
            helperLog(),
        };
    }
};

TEST(HelperEntryTest, RestoreCommandPrintsItsOutcomeAndNeverServes) {
    EntryFixture fixture;
    fixture.controllers.marker->marked = true;
    std::ostringstream out, err;
    EXPECT_EQ(fixture.entry().run({"--restore-automatic"}, out, err), 0);
    EXPECT_EQ(out.str(), "Apple Automatic was verified on every fan.\n");
    EXPECT_EQ(err.str(), "");
    EXPECT_THAT(fixture.made, ElementsAre(false));
    EXPECT_FALSE(fixture.served);
    EXPECT_FALSE(fixture.controllers.marker->marked);

    fixture.controllers.hardware->failNext(
        "restoreAutomatic", HelperError("No verified SMC fan-control mode mechanism was found."));
    std::ostringstream out2, err2;
    EXPECT_EQ(fixture.entry().run({"--restore-automatic"}, out2, err2), 1);
    EXPECT_EQ(out2.str(), "");
    EXPECT_EQ(err2.str(),
              "Apple Automatic could not be verified: No verified SMC fan-control mode mechanism "
              "was found.\n");
}

TEST(HelperEntryTest, DaemonServesWithARecoveringController) {
    EntryFixture fixture;
    fixture.controllers.marker->marked = true;
    std::ostringstream out, err;
    EXPECT_EQ(fixture.entry().run({"--restore-automatic", "extra"}, out, err), 0);
    EXPECT_TRUE(fixture.served);
    EXPECT_THAT(fixture.made, ElementsAre(true));
    // The start-up recovery ran on the controller's queue.
    EXPECT_FALSE(fixture.controllers.marker->marked);
}

TEST(HelperEntryTest, FailedBootstrapRestoresOnceWhenMarkedThenLogsAndExits) {
    for (bool marked : {true, false}) {
        testsupport::ScopedCapturingLogBackend capture;
        EntryFixture fixture;
        fixture.controllers.marker->marked = marked;
        fixture.refresh = [] { throw HelperError("The bundled Helper must run as root."); };
        std::ostringstream out, err;
        EXPECT_EQ(fixture.entry().run({}, out, err), 1);
        EXPECT_FALSE(fixture.served);
        EXPECT_FALSE(fixture.controllers.marker->marked);
        const auto restores =
            std::count(fixture.controllers.log->entries().begin(),
                       fixture.controllers.log->entries().end(), "hardware.restoreAutomatic");
        EXPECT_EQ(restores, marked ? 1 : 0);
        const auto lines = capture.lines();
        ASSERT_EQ(lines.size(), 1U);
        const auto& line = lines[0];
        EXPECT_EQ(line.subsystem, "com.quillmoor.Ventrella.helper");
        EXPECT_EQ(line.category, "ClientAuthorization");
        EXPECT_EQ(line.level, applog::LogLevel::fault);
        EXPECT_EQ(line.text,
                  "client.hash_bootstrap_failed message=The bundled Helper must run as root.");
    }
}

TEST(HelperEntryTest, SecondHelperLeavesTheServingHelpersFansAloneAndSaysSo) {
    testsupport::ScopedCapturingLogBackend capture;
    EntryFixture fixture;
    // The serving helper holds the fans in manual control.
    fixture.controllers.marker->marked = true;
    fixture.claim = [] { return ServiceClaim::heldByAnotherHelper; };
    std::ostringstream out, err;
    EXPECT_EQ(fixture.entry().run({"--restore-automatc"}, out, err), 1);
    EXPECT_TRUE(fixture.made.empty()) << "a controller would restore the other helper's fans";
    EXPECT_FALSE(fixture.refreshed);
    EXPECT_FALSE(fixture.served);
    EXPECT_TRUE(fixture.controllers.marker->marked);
    EXPECT_TRUE(fixture.controllers.log->entries().empty());
    EXPECT_EQ(err.str(),
              "Another helper already serves com.quillmoor.Ventrella.helper; this one leaves the "
              "fans alone and exits.\n");
    ASSERT_EQ(capture.lines().size(), 1U);
    EXPECT_EQ(capture.lines()[0].level, applog::LogLevel::error);
    EXPECT_EQ(capture.lines()[0].text, "listener.in_use service=com.quillmoor.Ventrella.helper");
}

TEST(HelperEntryTest, ListenerThatCannotBeSetUpRestoresOnceWhenMarkedThenExits) {
    testsupport::ScopedCapturingLogBackend capture;
    EntryFixture fixture;
    fixture.controllers.marker->marked = true;
    fixture.claim = []() -> ServiceClaim {
        throw HelperError("The listener could not be set up.");
    };
    std::ostringstream out, err;
    EXPECT_EQ(fixture.entry().run({}, out, err), 1);
    EXPECT_THAT(fixture.made, ElementsAre(false));
    EXPECT_FALSE(fixture.refreshed);
    EXPECT_FALSE(fixture.served);
    EXPECT_FALSE(fixture.controllers.marker->marked);
    ASSERT_EQ(capture.lines().size(), 1U);
    EXPECT_EQ(capture.lines()[0].level, applog::LogLevel::fault);
    EXPECT_EQ(capture.lines()[0].text,
              "listener.setup_failed message=The listener could not be set up.");
}

TEST(HelperEntryTest, FailedRestoreAfterFailedBootstrapStillExitsWithOne) {
    testsupport::ScopedCapturingLogBackend capture;
    EntryFixture fixture;
    fixture.controllers.marker->marked = true;
    fixture.controllers.hardware->failNext("restoreAutomatic", std::runtime_error("SMC gone"));
    fixture.refresh = [] { throw std::runtime_error("disk full"); };
    std::ostringstream out, err;
    EXPECT_EQ(fixture.entry().run({}, out, err), 1);
    EXPECT_TRUE(fixture.controllers.marker->marked);
    ASSERT_EQ(capture.lines().size(), 1U);
    EXPECT_EQ(capture.lines()[0].text, "client.hash_bootstrap_failed message=disk full");
}

}  // namespace
}  // namespace ventrella::helper::testing
