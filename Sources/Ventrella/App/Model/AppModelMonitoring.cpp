// The monitoring loop and its guard cycle, the sensor failures, and what the model does when the
// machine sleeps and wakes.

#include <cstdint>
#include <string>
#include <utility>

#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/App/Model/ErrorText.h"
#include "Ventrella/Core/L10n.h"
#include "Ventrella/Core/VentrellaError.h"
#include "VentrellaShared/FanControlTiming.h"

namespace ventrella::model {

namespace {

using core::L10n;
using core::VentrellaError;
using diagnostics::DiagnosticLevel;
using platform::dispatch::Task;
using platform::workspace::ThermalState;

// A cycle that starts more than this after the previous one follows a sleep (or a stall).
constexpr double wakeGapSeconds = 30.0;
// Least time between two status requests to an installed helper that does not answer.
constexpr double helperRetryIntervalSeconds = 60.0;
// Consecutive failed reads after which control fails closed.
constexpr std::int64_t sensorFailureLimit = 3;

std::string sourceName(core::TemperatureSource source) {
    switch (source) {
        case core::TemperatureSource::cpu:
            return "CPU";
        case core::TemperatureSource::gpu:
            return "GPU";
        case core::TemperatureSource::cpuAndGPU:
            return "CPU + GPU";
    }
    return "CPU + GPU";
}

std::string thermalStateText(ThermalState state) {
    switch (state) {
        case ThermalState::serious:
            return "serious";
        case ThermalState::critical:
            return "critical";
        default:
            return "unknown";
    }
}

bool sensorFailureRecorded(std::int64_t count) {
    return count == 1 || count == sensorFailureLimit || count % 100 == 0;
}

}  // namespace

Task<void> AppModel::monitorLoop() {
    // Whatever a cancelled cycle still receives is dropped: it records nothing and never fails
    // closed, since termination restores the fans itself.
    const std::stop_token stop = co_await platform::dispatch::currentStopToken();
    while (!stop.stop_requested()) {
        // Read first, so that a slow gap or retry delays the sample but not its time.
        const double now = dependencies_.uptimeClock->uptimeSeconds();
        if (lastPollUptime_ && now - *lastPollUptime_ > wakeGapSeconds) {
            co_await handleWakeGap();
        }
        lastPollUptime_ = now;
        if (helperInstalled_.get() && !helperReady_.get() &&
            now - lastHelperRetryUptime_ >= helperRetryIntervalSeconds) {
            (void)co_await refreshHelperStatus(1, 0.5, false);
        }
        if (stop.stop_requested()) {
            co_return;
        }

        std::optional<core::SensorSnapshot> snapshot;
        std::exception_ptr failure;
        auto read = [reader = dependencies_.reader] { return reader->snapshot(); };
        try {
            snapshot = co_await platform::dispatch::detached(std::move(read));
        } catch (...) {
            failure = std::current_exception();
        }
        if (stop.stop_requested()) {
            co_return;
        }
        if (snapshot) {
            co_await handle(std::move(*snapshot), now);
        } else {
            co_await handleSensorFailure(failure);
        }

        // The interval as the settings say now: a save in between takes effect at once.
        const bool slept =
            co_await platform::dispatch::sleepFor(settings_.get().pollIntervalSeconds);
        if (!slept) {
            co_return;
        }
    }
}

Task<void> AppModel::handleWakeGap() {
    recordDiagnostic(DiagnosticLevel::warning, "system.wake_gap_detected", "");
    if (mayHoldManualTarget()) {
        co_await disableControl(
            L10n::string("Sleep or wake detected; Apple Automatic was restored."));
    }
    resetPolicy();
}

Task<void> AppModel::handle(core::SensorSnapshot snapshot, double now) {
    latestSensorSnapshot_.set(snapshot);
    fans_.set(snapshot.fans);
    const core::GuardSettings current = settings_.get();
    const auto reading =
        snapshot.reading(current.temperatureSource, current.temperatureAggregation);
    if (!reading) {
        const std::exception_ptr missing = std::make_exception_ptr(VentrellaError::parseFailed(
            L10n::format("There are not enough valid sensors for the selected %@ source.",
                         sourceName(current.temperatureSource))));
        co_await handleSensorFailure(missing);
        co_return;
    }
    sensorFailures_ = 0;
    currentTemperature_.set(reading->value);
    hottestSensor_.set(reading->label);

    if (!controlEnabled_.get()) {
        // A fault stays shown until an operation of the model replaces it.
        if (guardMode_.get().kind() == core::GuardMode::Kind::fault) {
            co_return;
        }
        guardMode_.set(modeFromFans(snapshot.fans));
        if (anyFanNotAutomatic(snapshot.fans)) {
            statusMessage_.set(
                L10n::string("One or more fans are being controlled manually by another app."));
        } else if (helperApprovalPending_.get()) {
            statusMessage_.set(
                L10n::string("Approve Ventrella Fan Helper in System Settings > General > Login "
                             "Items & Extensions, then return and click Update."));
        } else {
            statusMessage_.set(
                L10n::string("Monitoring is active; Apple Automatic is controlling the fans."));
        }
        co_return;
    }

    // The fans are in manual mode at the model's own request while it owns them.
    if (!ownsManualControl_ && anyFanNotAutomatic(snapshot.fans)) {
        co_await disableControl(VentrellaError::externalManualControl().errorDescription());
        co_return;
    }
    co_await guardCycle(reading->value, now);
}

Task<void> AppModel::guardCycle(double temperature, double now) {
    const std::stop_token stop = co_await platform::dispatch::currentStopToken();
    const std::int64_t epoch = controlEpoch_;
    std::exception_ptr failure;
    try {
        const ThermalState thermalState = dependencies_.thermalStateProvider->thermalState();
        if (thermalState > ThermalState::fair) {
            const core::PolicyDecision decision = policy_.forceHighestLevel(now);
            if (decision.changed) {
                recordDiagnostic(DiagnosticLevel::warning, "control.thermal_state_emergency", "",
                                 {{"thermal_state", thermalStateText(thermalState)}});
                co_await apply(decision, epoch);
            }
        } else {
            const core::PolicyDecision decision = policy_.update(temperature, now);
            if (decision.changed) {
                co_await apply(decision, epoch);
            }
        }
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        if (!stop.stop_requested()) {
            co_await failClosed(failure);
        }
        co_return;
    }

    // Read again: the apply may have claimed or given up the fans.
    if (!ownsManualControl_ ||
        now - lastVerificationUptime_ < shared::FanControlTiming::ownershipRenewalIntervalSeconds) {
        co_return;
    }
    try {
        co_await verifyAndRenew(epoch);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        if (!stop.stop_requested()) {
            co_await failClosed(failure);
        }
        co_return;
    }
    // The next renewal is due 15 s after this cycle began, not after the reply.
    lastVerificationUptime_ = now;
}

Task<void> AppModel::handleSensorFailure(std::exception_ptr error) {
    const std::int64_t count = ++sensorFailures_;
    const std::string text = errorText(error);
    statusMessage_.set(
        L10n::format("Sensor read error %d/%d: %@", count, sensorFailureLimit, text));
    if (sensorFailureRecorded(count)) {
        recordDiagnostic(
            count < sensorFailureLimit ? DiagnosticLevel::warning : DiagnosticLevel::error,
            "sensor.read_failed", text, {{"consecutive_failures", std::to_string(count)}});
    }
    if (count >= sensorFailureLimit && controlEnabled_.get()) {
        co_await failClosed(error);
    }
}

// ---- Sleep and wake ----

Task<void> AppModel::handleWillSleep() {
    if (mayHoldManualTarget()) {
        co_await disableControl(L10n::string("Apple Automatic was restored before sleep."));
    }
}

Task<void> AppModel::handleDidWake() {
    // Renewals stop while the machine sleeps, and the helper's watchdog gives the fans back
    // behind the model's back: a target the model may still hold is given back here, so that
    // the model does not go on showing Boost or Emergency it no longer has.
    if (mayHoldManualTarget()) {
        co_await disableControl(
            L10n::string("Sleep or wake detected; Apple Automatic was restored."));
    }
    resetPolicy();
}

}  // namespace ventrella::model
