#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>

#include "Ventrella/App/Model/AppModel.h"

namespace ventrella::model {

// The tests' way to the model's private operations and state. The operations come back as tasks
// for the test to spawn on its own scope; the setters arrange what the monitoring cycle would
// otherwise have produced.
class AppModelTestPeer {
  public:
    template <class T>
    using Task = platform::dispatch::Task<T>;

    explicit AppModelTestPeer(AppModel& model) : model_(&model) {}

    // ---- Operations ----
    Task<void> enableControl() { return model_->enableControl(); }
    Task<void> disableControl(std::string reason) {
        return model_->disableControl(std::move(reason));
    }
    Task<void> apply(core::PolicyDecision decision, std::int64_t epoch) {
        return model_->apply(std::move(decision), epoch);
    }
    Task<void> verifyAndRenew(std::int64_t epoch) { return model_->verifyAndRenew(epoch); }
    Task<void> failClosed(std::exception_ptr error) { return model_->failClosed(std::move(error)); }
    Task<void> restoreAfterUncertainApply() { return model_->restoreAfterUncertainApply(); }
    void acceptRelinquished(const shared::FanControlResult& result, const std::string& reason) {
        model_->acceptRelinquished(result, reason);
    }
    Task<void> handle(core::SensorSnapshot snapshot, double now) {
        return model_->handle(std::move(snapshot), now);
    }
    Task<void> refreshHardwareStatus() { return model_->refreshHardwareStatus(); }
    Task<bool> refreshHelperStatus(int attempts, double retryDelaySeconds, bool showFailureStatus) {
        return model_->refreshHelperStatus(attempts, retryDelaySeconds, showFailureStatus);
    }
    void updateLaunchAtLogin(bool enabled) { model_->updateLaunchAtLogin(enabled); }
    void recordDiagnostic(diagnostics::DiagnosticLevel level, const std::string& event,
                          const std::string& message, diagnostics::DiagnosticMetadata metadata) {
        model_->recordDiagnostic(level, event, message, std::move(metadata));
    }

    // ---- State ----
    bool ownsManualControl() const { return model_->ownsManualControl_; }
    std::optional<std::int64_t> activeTargetPercentage() const {
        return model_->activeTargetPercentage_;
    }
    std::int64_t controlEpoch() const { return model_->controlEpoch_; }
    std::int64_t sensorFailures() const { return model_->sensorFailures_; }
    core::FanPolicy& policy() { return model_->policy_; }
    double lastVerificationUptime() const { return model_->lastVerificationUptime_; }
    double lastHelperRetryUptime() const { return model_->lastHelperRetryUptime_; }
    std::optional<double> lastPollUptime() const { return model_->lastPollUptime_; }
    const platform::dispatch::TaskHandle& transientStatusTask() const {
        return model_->transientStatusTask_;
    }
    bool manualStateUncertain() const { return model_->manualStateUncertain_; }
    int coolingRequestsOutstanding() const { return model_->coolingRequestsOutstanding_; }
    const platform::dispatch::TaskHandle& monitorTask() const { return model_->monitorTask_; }
    std::size_t workspaceObserverCount() const { return model_->workspaceObservers_.size(); }

    // ---- Arranging ----
    void setCurrentTemperature(std::optional<double> celsius) {
        model_->currentTemperature_.set(celsius);
    }
    void setLatestSensorSnapshot(core::SensorSnapshot snapshot) {
        model_->latestSensorSnapshot_.set(std::move(snapshot));
    }
    void setSensorFailures(std::int64_t count) { model_->sensorFailures_ = count; }
    void setGuardMode(core::GuardMode mode) { model_->guardMode_.set(std::move(mode)); }
    // Leaves the model owning the fans without a target: it breaks the ownership invariant.
    void dropActiveTarget() { model_->activeTargetPercentage_.reset(); }

  private:
    AppModel* model_;
};

}  // namespace ventrella::model
