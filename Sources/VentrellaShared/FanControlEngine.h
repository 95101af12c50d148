#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "VentrellaShared/FanControlHardware.h"
#include "VentrellaShared/FanControlMarkerStore.h"
#include "VentrellaShared/FanControlResult.h"
#include "VentrellaShared/FanControlWatchdog.h"
#include "VentrellaShared/FanTargets.h"
#include "VentrellaShared/HelperStatus.h"

namespace ventrella::shared {

// Decides how fans leave and re-enter Apple Automatic, and fails closed: the marker is written
// and the watchdog armed before any write, every write sequence runs within a budget, every
// write is read back, and a failure after the first write restores Apple Automatic before it
// is reported. A failed restore leaves the watchdog armed so the helper retries on its own.
//
// Not thread-safe: every call, and the watchdog's restore, must run on one serial context.
class FanControlEngine {
  public:
    static constexpr double defaultOperationBudget = 12.0;
    static constexpr double takeoverStabilitySeconds = 1.5;
    static constexpr int manualVerificationAttempts = 5;
    static constexpr double manualVerificationInterval = 0.1;

    // `now` is a monotonic clock in seconds; `wait` blocks for the interval.
    FanControlEngine(std::shared_ptr<FanControlHardware> hardware,
                     std::shared_ptr<FanControlMarkerStore> marker,
                     std::shared_ptr<FanControlWatchdog> watchdog,
                     std::function<double()> now = defaultNow(),
                     std::function<void(double)> wait = defaultWait());

    HelperStatus status();
    // Returns the fans to Apple Automatic and checks that they stay there.
    FanControlResult prepareTakeover(double operationBudget);
    FanControlResult applyCooling(std::int64_t percentage, double operationBudget);
    FanControlResult restoreAutomatic();

    // The targets as read back and the percentage of the last verified apply; absent until then
    // and after every successful restore.
    const std::optional<FanTargets>& activeTargets() const { return activeTargets_; }
    const std::optional<std::int64_t>& activePercentage() const { return activePercentage_; }

  private:
    static std::function<double()> defaultNow();
    static std::function<void(double)> defaultWait();

    void checkDeadline(double deadline) const;
    FanControlResult writeAndVerify(const std::vector<FanInfo>& fans, const FanTargets& targets,
                                    std::int64_t percentage, double deadline);
    std::vector<FanInfo> verifyManualTargets(const FanTargets& targets, double deadline);

    std::shared_ptr<FanControlHardware> hardware_;
    std::shared_ptr<FanControlMarkerStore> marker_;
    std::shared_ptr<FanControlWatchdog> watchdog_;
    std::function<double()> now_;
    std::function<void(double)> wait_;
    std::optional<FanTargets> activeTargets_;
    std::optional<std::int64_t> activePercentage_;
};

}  // namespace ventrella::shared
