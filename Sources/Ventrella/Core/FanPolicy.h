#pragma once

#include <cstdint>
#include <vector>

#include "Ventrella/Core/FanLevel.h"
#include "Ventrella/Core/PolicyDecision.h"

namespace ventrella::core {

// The Boost/Emergency state machine of the guard, fed one temperature per monitoring cycle with
// the system uptime of the sample. Levels are in escalation order. A new policy is the reset.
//
// A level is entered after `enterSamples` consecutive samples at or above its start temperature,
// even during the current level's minimum hold. It is left only after its hold time and
// `exitSamples` consecutive samples at or below its exit temperature, to the highest lower level
// whose exit temperature is still below the sample, or to Apple Automatic. Every change clears
// all counters.
class FanPolicy {
  public:
    explicit FanPolicy(std::vector<FanLevel> levels);

    PolicyDecision update(double temperature, double now);

    // Goes straight to the last level, as the model does while the system reports a serious or
    // critical thermal state.
    PolicyDecision forceHighestLevel(double now);

    int currentIndex() const { return currentIndex_; }
    double enteredAt() const { return enteredAt_; }
    const std::vector<std::int64_t>& aboveCounts() const { return aboveCounts_; }
    std::int64_t belowCount() const { return belowCount_; }
    const std::vector<FanLevel>& levels() const { return levels_; }

  private:
    void enter(int index, double now);
    PolicyDecision unchanged(const char* reason) const;
    PolicyDecision changedTo(int index, double now, std::string reason);

    int currentIndex_ = -1;
    double enteredAt_ = 0;
    std::vector<std::int64_t> aboveCounts_;
    std::int64_t belowCount_ = 0;
    std::vector<FanLevel> levels_;
};

}  // namespace ventrella::core
