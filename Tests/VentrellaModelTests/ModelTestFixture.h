#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Dispatch/Coroutines.h"
#include "Platform/Dispatch/ManualExecutor.h"
#include "Platform/Foundation/UptimeClock.h"
#include "Support/AwaitedOutcome.h"
#include "Support/CallLog.h"
#include "Support/FakeDiagnosticReportCoordinator.h"
#include "Support/FakeFanControlHelper.h"
#include "Support/FakeHelperInstaller.h"
#include "Support/FakeLoginItem.h"
#include "Support/FakeSystemSettingsOpener.h"
#include "Support/FakeThermalStateProvider.h"
#include "Support/FakeWorkspaceNotificationCenter.h"
#include "Support/InMemoryUserDefaults.h"
#include "Support/RecordingDiagnosticSink.h"
#include "Support/ScopedEnvironment.h"
#include "Support/ScopedLocalization.h"
#include "Support/ScriptedFanHardwareReader.h"
#include "Support/TemporaryBundle.h"
#include "Ventrella/App/Model/AppModel.h"
#include "VentrellaModelTests/AppModelTestPeer.h"
#include "VentrellaModelTests/ModelInvariantChecker.h"

namespace ventrella::modeltests {

using Request = fakes::FakeFanControlHelper::Request;

// The executor's virtual time as the model's uptime, so that sleeps and uptime readings agree,
// plus the time the machine spent asleep: uptime counts it, while the executor's timers (which
// stand for the monotonic clock) do not.
class ExecutorUptimeClock : public platform::foundation::UptimeClock {
  public:
    explicit ExecutorUptimeClock(const platform::dispatch::ManualExecutor& executor)
        : executor_(executor) {}
    double uptimeSeconds() const override { return executor_.uptime() + asleep_; }
    void sleepMachine(double seconds) { asleep_ += seconds; }

  private:
    const platform::dispatch::ManualExecutor& executor_;
    double asleep_ = 0;
};

// How a private operation the test started has ended so far.
struct Finished {
    bool done = false;
    std::exception_ptr failure;

    // The English text of a VentrellaError ("" without a failure).
    std::string errorText() const {
        testsupport::AwaitedOutcome<int> outcome;
        outcome.failure = failure;
        return outcome.errorText();
    }
};

inline shared::FanInfo fan(std::int64_t id, shared::FanControlMode mode, double target = 3120) {
    shared::FanInfo info;
    info.id = id;
    info.actualRPM = target;
    info.minimumRPM = 1200;
    info.maximumRPM = 5800;
    info.targetRPM = target;
    info.mode = mode;
    return info;
}

inline std::vector<shared::FanInfo> fansIn(shared::FanControlMode mode) {
    return {fan(0, mode), fan(1, mode, 3200)};
}

// Two CPU sensors at `cpuCelsius` (so their average and the hottest are that), one GPU sensor
// 5 °C cooler, and the fans.
inline core::SensorSnapshot snapshotAt(
    double cpuCelsius,
    std::vector<shared::FanInfo> fans = fansIn(shared::FanControlMode::automatic)) {
    core::SensorSnapshot snapshot;
    snapshot.cpuTemperatures = {{"Tp01", cpuCelsius}, {"Tp05", cpuCelsius}};
    snapshot.gpuTemperatures = {{"Tg0f", cpuCelsius - 5}};
    snapshot.fans = std::move(fans);
    return snapshot;
}

inline core::GuardSettings englishSettings() {
    core::GuardSettings settings;
    settings.appLanguage = core::AppLanguage::english;
    return settings;
}

inline apphardware::HardwarePreflight preflightOf(std::vector<shared::FanInfo> fans,
                                                  bool canControl = true,
                                                  std::optional<std::string> reason = {}) {
    apphardware::HardwarePreflight preflight;
    preflight.capabilities.model = "Mac15,6";
    preflight.capabilities.chipGeneration = 3;
    preflight.capabilities.fanCount = static_cast<std::int64_t>(fans.size());
    preflight.capabilities.canMonitor = true;
    preflight.capabilities.canControl = canControl;
    preflight.capabilities.controlMechanism = "per-fan mode keys";
    preflight.capabilities.reason = std::move(reason);
    preflight.fans = std::move(fans);
    return preflight;
}

inline shared::FanControlResult resultOf(shared::HelperControlState state,
                                         std::vector<shared::FanInfo> fans,
                                         std::optional<std::int64_t> applied = {}) {
    return {state, std::move(fans), applied};
}

// One model on a manual executor with virtual time, every dependency a fake. The invariants
// are checked before every write of a published field and after every step the fixture runs.
class ModelTest : public ::testing::Test {
  protected:
    using Level = diagnostics::DiagnosticLevel;
    using Mode = shared::FanControlMode;
    using State = shared::HelperControlState;

    ModelTest() {
        bundle.addInfoPlist(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
            "<key>CFBundleShortVersionString</key><string>2.5</string>"
            "<key>CFBundleVersion</key><string>42</string></dict></plist>\n");
        mainBundlePath = bundle.path();
        installer->modernService = false;
    }

    // Builds the model from the fixture's fakes and settings.
    model::AppModel& makeModel() {
        model::AppModelDependencies dependencies;
        dependencies.reader = reader;
        dependencies.helper = helperLink ? helperLink : helper;
        dependencies.initialSettings = initialSettings;
        dependencies.diagnostics = sink;
        dependencies.diagnosticReportCoordinator = reportCoordinator;
        dependencies.thermalStateProvider = thermalState;
        dependencies.helperApprovalPending = helperApprovalPending;
        dependencies.transientStatusDurationSeconds = 3.0;
        dependencies.approvalSettingsOpener = settingsOpener;
        uptime = std::make_shared<ExecutorUptimeClock>(executor);
        dependencies.uptimeClock = uptime;
        dependencies.userDefaults = defaults;
        dependencies.loginItem = loginItem;
        dependencies.installer = installer;
        dependencies.mainBundle = [path = mainBundlePath] {
            return *platform::foundation::Bundle::atPath(path);
        };
        dependencies.workspaceNotifications = workspace;
        dependencies.terminate = [this] { ++terminations; };
        dependencies.drainDiagnostics = [this](double seconds) {
            drains.push_back({seconds, helper->synchronousRestoreTimeouts().size()});
        };
        dependencies.operatingSystemVersion = [] { return std::string("Linux 6.1.0 (test)"); };
        model = std::make_unique<model::AppModel>(executor, std::move(dependencies));
        peer.emplace(*model);
        invariants.watch(*model);
        invariants.check(*model, "after construction");
        return *model;
    }

    // Runs ready jobs and detached work until nothing is left, then checks the invariants.
    void run(const std::string& step = "a step") {
        executor.runUntilIdle();
        invariants.check(*model, "after " + step);
    }

    void advance(double seconds) {
        executor.advanceBy(seconds);
        invariants.check(*model, "after time passed");
    }

    // Answers the oldest helper request, then runs.
    void replyStatus() {
        helper->reply(shared::HelperStatus{});
        run("a status reply");
    }
    void reply(State state, std::vector<shared::FanInfo> fans,
               std::optional<std::int64_t> applied = {}) {
        helper->reply(resultOf(state, std::move(fans), applied));
        run("a helper reply");
    }
    void failRequest(const std::string& text) {
        helper->fail(core::VentrellaError::commandFailed(text));
        run("a helper error");
    }
    Request nextRequest() const { return helper->nextPending().request; }

    // Starts a private operation on the test's own scope and runs; a result is dropped.
    template <class T>
    Finished& start(platform::dispatch::Task<T> operation) {
        finished_.emplace_back();
        Finished* outcome = &finished_.back();
        scope->spawn(capture(std::move(operation), outcome));
        run("starting an operation");
        return *outcome;
    }

    // Switches control on through the public request: a ready helper, a machine that can
    // control with both fans automatic.
    void switchControlOn() {
        reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
        model->requestControl(true);
        run("the control request");
        replyStatus();
        ASSERT_TRUE(model->controlEnabled()) << model->statusMessage();
    }

    // With control on: moves the policy to level `index` (0 from Apple Automatic, or 1) as the
    // guard cycle would, applies the decision and lets the helper verify it.
    void ownLevel(int index, std::int64_t expectedPercentage) {
        core::PolicyDecision decision;
        const double now = executor.uptime();
        if (index == 0) {
            for (int sample = 0; sample < 3; ++sample) {
                decision = peer->policy().update(85.0, now);
            }
        } else {
            decision = peer->policy().forceHighestLevel(now);
        }
        ASSERT_TRUE(decision.changed && decision.index == index);
        auto& applied = start(peer->apply(decision, peer->controlEpoch()));
        ASSERT_EQ(helper->nextPending().percentage, expectedPercentage);
        reply(State::manual, fansIn(Mode::manual), expectedPercentage);
        ASSERT_TRUE(applied.done && !applied.failure) << applied.errorText();
        ASSERT_TRUE(peer->ownsManualControl());
    }

    // The policy's decision for Boost, as the guard cycle would take it.
    core::PolicyDecision boostDecision() {
        core::PolicyDecision decision;
        for (int sample = 0; sample < 3; ++sample) {
            decision = peer->policy().update(85.0, executor.uptime());
        }
        return decision;
    }

    // With control on and not owning: the apply of Boost fails, so does the restore after it
    // and the fail-closed step's restore. Control is off with the critical line, and the fans
    // may hold a target of the helper's that the model does not own.
    void failClosedUncertain() {
        auto& applied = start(peer->apply(boostDecision(), peer->controlEpoch()));
        failRequest("Ventrella Helper did not respond.");
        failRequest("Ventrella Helper did not respond.");
        ASSERT_TRUE(applied.done);
        start(peer->failClosed(applied.failure));
        failRequest("The helper is gone.");
        ASSERT_FALSE(model->controlEnabled());
        ASSERT_FALSE(peer->ownsManualControl());
        ASSERT_TRUE(peer->manualStateUncertain());
        ASSERT_EQ(model->statusMessage(),
                  "CRITICAL: Automatic mode could not be restored on every fan.");
    }

    // Starts monitoring on a machine that can control, with the helper ready: the loop's first
    // cycle runs on the first sample scripted.
    void startMonitoringNow() {
        reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
        model->startMonitoring();
        run("start-up");
        replyStatus();
    }
    // The same with a helper that never answers (not running, or waiting for approval): the
    // start-up's three attempts fail, 0.5 s apart.
    void startMonitoringUnanswered() {
        reader->answerPreflight(preflightOf(fansIn(Mode::automatic)));
        model->startMonitoring();
        run("start-up");
        for (int attempt = 1; attempt <= 3; ++attempt) {
            failRequest("Could not connect to Ventrella Helper.");
            if (attempt < 3) {
                advance(0.5);
            }
        }
        ASSERT_FALSE(model->helperReady());
    }
    // The same, the loop reading `samples` in order and the last one from then on.
    void startMonitoringWith(std::vector<core::SensorSnapshot> samples) {
        for (auto& sample : samples) {
            reader->answerSnapshot(std::move(sample));
        }
        startMonitoringNow();
    }

    // Fresh fakes for the next case of a table, so that nothing scripted or waiting carries
    // over; the model made next uses them.
    void renewFakes() {
        reader = std::make_shared<fakes::ScriptedFanHardwareReader>();
        helper = std::make_shared<fakes::FakeFanControlHelper>();
        sink->clear();
    }

    // A status request that the helper answers, as start-up would have made.
    void makeHelperReady() {
        start(peer->refreshHelperStatus(1, 0.5, false));
        replyStatus();
        ASSERT_TRUE(model->helperReady());
    }

    // The loop's next cycle: the interval passes.
    void nextCycle() { advance(model->settings().pollIntervalSeconds); }

    std::vector<std::string> events() const { return sink->events(); }
    // Events recorded since `count` of them were there.
    std::vector<std::string> eventsSince(std::size_t count) const {
        const auto all = events();
        return {all.begin() + static_cast<std::ptrdiff_t>(count), all.end()};
    }
    std::size_t requestCount() const { return helper->requests().size(); }

    // The user's own language, which "System Default" follows, is English.
    testsupport::ScopedEnvironment environment =
        testsupport::ScopedEnvironment::userLocale("en", "en_US.UTF-8");
    testsupport::ScopedLocalization localization{VENTRELLA_APP_BUNDLE_DIR,
                                                 core::AppLanguage::english};
    testsupport::TemporaryBundle bundle;
    std::filesystem::path mainBundlePath;
    platform::dispatch::ManualExecutor executor{1000.0};
    std::shared_ptr<ExecutorUptimeClock> uptime;
    std::shared_ptr<fakes::CallLog> log = std::make_shared<fakes::CallLog>();
    std::shared_ptr<fakes::ScriptedFanHardwareReader> reader =
        std::make_shared<fakes::ScriptedFanHardwareReader>();
    std::shared_ptr<fakes::FakeFanControlHelper> helper =
        std::make_shared<fakes::FakeFanControlHelper>();
    // When set, the model talks to this instead of `helper`.
    std::shared_ptr<apphardware::FanControlHelping> helperLink;
    std::shared_ptr<fakes::RecordingDiagnosticSink> sink =
        std::make_shared<fakes::RecordingDiagnosticSink>();
    std::shared_ptr<fakes::FakeDiagnosticReportCoordinator> reportCoordinator =
        std::make_shared<fakes::FakeDiagnosticReportCoordinator>();
    std::shared_ptr<fakes::FakeThermalStateProvider> thermalState =
        std::make_shared<fakes::FakeThermalStateProvider>();
    std::shared_ptr<fakes::FakeSystemSettingsOpener> settingsOpener =
        std::make_shared<fakes::FakeSystemSettingsOpener>();
    std::shared_ptr<fakes::InMemoryUserDefaults> defaults =
        std::make_shared<fakes::InMemoryUserDefaults>();
    std::shared_ptr<fakes::FakeLoginItem> loginItem = std::make_shared<fakes::FakeLoginItem>(log);
    std::shared_ptr<fakes::FakeHelperInstaller> installer =
        std::make_shared<fakes::FakeHelperInstaller>(log);
    std::shared_ptr<fakes::FakeWorkspaceNotificationCenter> workspace =
        std::make_shared<fakes::FakeWorkspaceNotificationCenter>();
    std::optional<core::GuardSettings> initialSettings = englishSettings();
    std::optional<bool> helperApprovalPending = false;
    int terminations = 0;
    // Each drain of the diagnostic log: its bound, and how many synchronous restores came before.
    struct Drain {
        double seconds = 0;
        std::size_t restoresBefore = 0;
        bool operator==(const Drain&) const = default;
    };
    std::vector<Drain> drains;

    std::deque<Finished> finished_;
    ModelInvariantChecker invariants;
    std::unique_ptr<model::AppModel> model;
    std::optional<model::AppModelTestPeer> peer;
    // Last: the test's tasks go before the model they use.
    std::unique_ptr<platform::dispatch::TaskScope> scope =
        std::make_unique<platform::dispatch::TaskScope>(executor);

  private:
    template <class T>
    static platform::dispatch::Task<void> capture(platform::dispatch::Task<T> operation,
                                                  Finished* outcome) {
        try {
            (void)co_await std::move(operation);
        } catch (...) {
            outcome->failure = std::current_exception();
        }
        outcome->done = true;
    }
};

}  // namespace ventrella::modeltests
