// The production model, headless on a plain run loop, against the helper on a simulated Mac
// whose thermal model runs 25 times faster than real time. Each case is a process of its own
// (so ctest runs them side by side) and ends by checking the events its diagnostic log holds.

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Support/ScopedEnvironment.h"
#include "VentrellaHelperE2ETests/SimulatedMac.h"
#include "VentrellaModelE2ETests/HeadlessModel.h"
#include "VentrellaSecurity/ClientAuthorizationAuditEntry.h"

namespace ventrella::e2e {
namespace {

using core::GuardMode;
using model::AppModel;

constexpr double thermalSpeed = 25;

// Short holds and a 1-second interval. Full load warms the CPU from about 45 °C to near 80 °C
// in a few real seconds and cools it under the Boost exit within about two once it ends, well
// inside Boost's hold; the Emergency threshold is out of the load's reach, so only the thermal
// state brings Emergency.
core::GuardSettings quickSettings() {
    core::GuardSettings settings;
    settings.appLanguage = core::AppLanguage::english;
    settings.boostEnterCelsius = 60;
    settings.boostExitCelsius = 55;
    settings.boostPercent = 55;
    settings.boostEnterSamples = 2;
    settings.boostExitSamples = 2;
    settings.boostMinimumHoldSeconds = 8;
    settings.emergencyEnterCelsius = 100;
    settings.emergencyExitCelsius = 90;
    settings.emergencyExitSamples = 2;
    settings.emergencyMinimumHoldSeconds = 5;
    settings.pollIntervalSeconds = 1;
    return settings;
}

// A home of the test's own for the model's preferences, login item and diagnostic log, which
// belongs to the user the model runs as.
struct PrivateHome {
    testsupport::LocalUser user = testsupport::LocalUser::application();
    std::filesystem::path path = [this] {
        std::string pattern = "/tmp/vm-home-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp");
        }
        user.handOver(pattern);
        return std::filesystem::path(pattern);
    }();
    ~PrivateHome() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

bool fansAre(const nlohmann::json& status, const std::string& mode) {
    const auto& fans = status["fans"];
    return !fans.empty() && std::all_of(fans.begin(), fans.end(),
                                        [&](const auto& fan) { return fan["mode"] == mode; });
}

// Every fan manual at the target the model reports, which is at least `percent` of the fan's
// range: taking the fans from Apple Automatic never slows a fan below the speed it had.
bool fansCarryTargets(const nlohmann::json& status, const std::vector<shared::FanInfo>& reported,
                      double percent) {
    if (!fansAre(status, "manual") || status["fans"].size() != reported.size()) {
        return false;
    }
    for (std::size_t index = 0; index < reported.size(); ++index) {
        const auto& fan = status["fans"][index];
        const double minimum = fan["minimum"], maximum = fan["maximum"];
        const double target = fan["target"];
        if (std::abs(target - reported[index].targetRPM) > 1.0 ||
            target < std::min(maximum, minimum + (maximum - minimum) * percent / 100) - 1.0) {
            return false;
        }
    }
    return true;
}

// Whole seconds from one record of the diagnostic log to a later one.
long long secondsBetween(const nlohmann::json& earlier, const nlohmann::json& later) {
    const auto from = security::iso8601Date(earlier["timestamp"].get<std::string>());
    const auto to = security::iso8601Date(later["timestamp"].get<std::string>());
    if (!from || !to) {
        ADD_FAILURE() << "no timestamp: " << earlier.dump() << later.dump();
        return 0;
    }
    return std::chrono::duration_cast<std::chrono::seconds>(*to - *from).count();
}

bool modeIs(const AppModel& model, GuardMode::Kind kind) {
    return model.guardMode().kind() == kind;
}

// The application on a simulated Mac with its helper running, the model built and monitoring
// as the application's ordinary user.
struct ModelOnSimulatedMac {
    SimulatedMac mac{"apple-silicon", {}, thermalSpeed};
    PrivateHome home;
    testsupport::ScopedEnvironment environment{
        {"VIRTUAL_MAC_ROOT", mac.root().string()},
        {"HOME", home.path.string()},
        {"XDG_CONFIG_HOME", (home.path / ".config").string()}};
    HeadlessModel model{quickSettings(), home.user};

    void machine(const std::vector<std::string>& arguments) const {
        const auto result = mac.virtualMac(arguments);
        ASSERT_EQ(result.exitCode, 0) << result.err;
    }

    // Control on, then the thermal state pushes the model to Emergency, which it owns.
    void ownAtEmergency() {
        ASSERT_TRUE(model.enableControl());
        machine({"thermal-state", "serious"});
        ASSERT_TRUE(model.waitUntil(
            [](const AppModel& model) { return modeIs(model, GuardMode::Kind::emergency); }));
        const auto reported = model.onMain([](AppModel& model) { return model.fans(); });
        ASSERT_TRUE(fansCarryTargets(mac.status(), reported, 100)) << mac.status().dump();
    }

    // The log's events of the run, checked to hold `expected` in this order (others between).
    // What the model wrote is its user's.
    void expectLoggedInOrder(const std::vector<std::string>& expected) {
        model.terminate();
        for (const char* file : {"Library/Logs/Ventrella/Ventrella.jsonl",
                                 "Library/Preferences/com.quillmoor.Ventrella.plist"}) {
            struct stat info {};
            ASSERT_EQ(::stat((home.path / file).c_str(), &info), 0) << file;
            EXPECT_EQ(info.st_uid, home.user.uid) << file;
        }
        const auto events = model.diagnosticEvents();
        auto from = events.begin();
        for (const auto& event : expected) {
            from = std::find(from, events.end(), event);
            ASSERT_NE(from, events.end())
                << "no " << event << " where expected in: " << nlohmann::json(events).dump();
            ++from;
        }
    }

    std::optional<nlohmann::json> lastRecord(const std::string& event) const {
        const auto records = model.diagnosticRecords();
        for (auto record = records.rbegin(); record != records.rend(); ++record) {
            if ((*record)["event"] == event) {
                return *record;
            }
        }
        return std::nullopt;
    }
};

TEST(AppModelE2ETests, LoadBringsBoostOnTheFansAndItsFallGivesThemBackAfterHoldAndHysteresis) {
    ModelOnSimulatedMac app;
    ASSERT_TRUE(app.model.enableControl());
    EXPECT_TRUE(fansAre(app.mac.status(), "automatic"));

    app.machine({"load", "--cpu", "100"});
    ASSERT_TRUE(app.model.waitUntil(
        [](const AppModel& model) { return modeIs(model, GuardMode::Kind::boost); }));
    const auto boosted = app.mac.status();
    const auto reported = app.model.onMain([](AppModel& model) { return model.fans(); });
    EXPECT_TRUE(fansCarryTargets(boosted, reported, 55)) << boosted.dump();
    EXPECT_EQ(app.model.onMain([](AppModel& model) { return model.statusMessage(); })
                  .rfind("Boost: 55% · F1 ", 0),
              0U);

    app.machine({"load", "--cpu", "0"});
    ASSERT_TRUE(app.model.waitUntil([](const AppModel& model) {
        return modeIs(model, GuardMode::Kind::automatic) && model.controlEnabled();
    }));
    EXPECT_TRUE(fansAre(app.mac.status(), "automatic"));
    EXPECT_EQ(app.model.onMain([](AppModel& model) { return model.statusMessage(); }),
              "Temperature dropped; Apple Automatic was restored.");

    app.expectLoggedInOrder({"app.model_initialized", "monitor.started", "control.requested",
                             "control.enabled", "control.target_applied",
                             "control.restored_automatic", "app.terminating"});
    const auto applied = app.lastRecord("control.target_applied");
    ASSERT_TRUE(applied);
    EXPECT_EQ((*applied)["metadata"]["percentage"], "55");
    // Hysteresis: handed back only under the exit threshold.
    const auto restored = app.lastRecord("control.restored_automatic");
    ASSERT_TRUE(restored);
    EXPECT_LT(std::stod((*restored)["metadata"]["temperature_c"].get<std::string>()), 55.0)
        << restored->dump();
    // The hold from the apply kept Boost past the fall, by the log's whole seconds.
    EXPECT_GE(secondsBetween(*applied, *restored), 8 - 1) << applied->dump() << restored->dump();
}

TEST(AppModelE2ETests, ASeriousThermalStateBringsEmergencyAtFullSpeedUntilTermination) {
    ModelOnSimulatedMac app;
    app.ownAtEmergency();
    EXPECT_EQ(app.model.onMain([](AppModel& model) { return model.statusMessage(); })
                  .rfind("Emergency: 100% · F1 ", 0),
              0U);

    // The application's last call hands the fans back before it returns.
    app.model.terminate();
    EXPECT_TRUE(fansAre(app.mac.status(), "automatic")) << app.mac.status().dump();
    app.expectLoggedInOrder({"control.enabled", "control.thermal_state_emergency",
                             "control.target_applied", "app.terminating"});
    const auto emergency = app.lastRecord("control.thermal_state_emergency");
    ASSERT_TRUE(emergency);
    EXPECT_EQ((*emergency)["metadata"]["thermal_state"], "serious");
    EXPECT_EQ((*app.lastRecord("control.target_applied"))["metadata"]["percentage"], "100");
}

TEST(AppModelE2ETests, SleepAndWakeWhileOwningHandTheFansBack) {
    ModelOnSimulatedMac app;
    app.ownAtEmergency();

    // The machine sleeps only once the model has answered, and by then the fans are back. The
    // simulated machine does not hold the model still while it sleeps (the model runs in this
    // process), so the reason it showed is read from the log: the next cycle replaces it.
    const auto slept = app.mac.virtualMac({"sleep"});
    ASSERT_EQ(slept.exitCode, 0) << slept.err;
    EXPECT_NE(slept.out.find(" 1 of 1 observer(s) acknowledged\n"), std::string::npos) << slept.out;
    EXPECT_TRUE(fansAre(app.mac.status(), "automatic")) << app.mac.status().dump();
    EXPECT_FALSE(app.model.onMain([](AppModel& model) { return model.controlEnabled(); }));
    app.machine({"wake"});

    // Owning again when the machine says it woke: the fans go back.
    app.ownAtEmergency();
    app.machine({"wake"});
    ASSERT_TRUE(app.model.waitUntil([](const AppModel& model) {
        return !model.controlEnabled() && modeIs(model, GuardMode::Kind::automatic);
    }));
    EXPECT_TRUE(fansAre(app.mac.status(), "automatic")) << app.mac.status().dump();

    app.expectLoggedInOrder({"control.target_applied", "control.disabled", "control.enabled",
                             "control.target_applied", "control.disabled", "app.terminating"});
    // Each hand-back showed its own reason.
    std::vector<std::string> reasons;
    for (const auto& record : app.model.diagnosticRecords()) {
        if (record["event"] == "control.disabled") {
            reasons.push_back(record["message"]);
        }
    }
    EXPECT_EQ(reasons,
              (std::vector<std::string>{"Apple Automatic was restored before sleep.",
                                        "Sleep or wake detected; Apple Automatic was restored."}));
    const auto events = app.model.diagnosticEvents();
    EXPECT_EQ(std::count(events.begin(), events.end(), "system.wake_gap_detected"), 0);
}

TEST(AppModelE2ETests, TheHelperKilledWhileBoostRunsMakesTheModelFailClosed) {
    ModelOnSimulatedMac app;
    ASSERT_TRUE(app.model.enableControl());
    app.machine({"load", "--cpu", "100"});
    ASSERT_TRUE(app.model.waitUntil(
        [](const AppModel& model) { return modeIs(model, GuardMode::Kind::boost); }));

    // The machine's launchd starts a killed helper again within a second, and the new helper
    // gives the fans back at once (it finds the marker); a renewal that reaches it takes them
    // again. So the helper is killed again whenever it comes back, until the model has
    // heard of it.
    std::atomic<bool> keepKilling = true;
    std::thread killer([&] {
        while (keepKilling) {
            if (const auto helper = app.mac.helperProcess()) {
                ::kill(*helper, SIGKILL);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    // The renewal fails, and so does the restore that follows it.
    const bool failedClosed = app.model.waitUntil([](const AppModel& model) {
        return !model.controlEnabled() && modeIs(model, GuardMode::Kind::fault);
    });
    keepKilling = false;
    killer.join();
    ASSERT_TRUE(failedClosed);
    EXPECT_EQ(app.model.onMain([](AppModel& model) { return model.statusMessage(); }),
              "CRITICAL: Automatic mode could not be restored on every fan.");

    // Back, the helper hands the fans to Apple Automatic by itself.
    EXPECT_TRUE(eventually([&] { return fansAre(app.mac.status(), "automatic"); }))
        << app.mac.status().dump();
    app.expectLoggedInOrder({"control.target_applied", "control.fail_closed",
                             "control.restore_failed", "app.terminating"});
}

TEST(AppModelE2ETests, ThreeFailedSensorReadsWhileOwningFailClosed) {
    ModelOnSimulatedMac app;
    app.ownAtEmergency();

    app.machine({"fault", "unreadable-temperatures"});
    ASSERT_TRUE(app.model.waitUntil([](const AppModel& model) {
        return !model.controlEnabled() && modeIs(model, GuardMode::Kind::fault);
    }));
    EXPECT_TRUE(fansAre(app.mac.status(), "automatic")) << app.mac.status().dump();
    // Control stays off; the reads go on failing and say so, counting on past the limit.
    EXPECT_TRUE(app.model.waitUntil([](const AppModel& model) {
        const std::string& shown = model.statusMessage();
        const auto slash = shown.find("/3: ");
        return shown.rfind("Sensor read error ", 0) == 0 && slash != std::string::npos &&
               std::atoi(shown.c_str() + 18) >= 4;
    }));

    app.expectLoggedInOrder({"control.target_applied", "sensor.read_failed", "sensor.read_failed",
                             "control.fail_closed", "control.disabled"});
    std::vector<std::string> failures;
    for (const auto& record : app.model.diagnosticRecords()) {
        if (record["event"] == "sensor.read_failed") {
            failures.push_back(record["level"].get<std::string>() + " " +
                               record["metadata"]["consecutive_failures"].get<std::string>());
        }
    }
    ASSERT_GE(failures.size(), 2U);
    EXPECT_EQ(failures[0], "warning 1");
    EXPECT_EQ(failures[1], "error 3");
}

TEST(AppModelE2ETests, AnotherApplicationTakingAFanMakesTheModelReleaseControl) {
    ModelOnSimulatedMac app;
    app.ownAtEmergency();

    app.machine({"fault", "other-app", "0", "3000"});
    // The next renewal (at most 15 s on) finds a target that is not the model's.
    ASSERT_TRUE(app.model.waitUntil([](const AppModel& model) {
        return !model.controlEnabled() && modeIs(model, GuardMode::Kind::fault);
    }));
    EXPECT_EQ(app.model.onMain([](AppModel& model) { return model.statusMessage(); }),
              "Another app changed the fan target; Ventrella released control.");
    app.expectLoggedInOrder({"control.target_applied", "control.relinquished", "app.terminating"});
}

}  // namespace
}  // namespace ventrella::e2e
