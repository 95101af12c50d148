#include "Ventrella/Core/FanPolicy.h"

#include <algorithm>

#include "Ventrella/Core/L10n.h"

namespace ventrella::core {

FanPolicy::FanPolicy(std::vector<FanLevel> levels)
    : aboveCounts_(levels.size(), 0), levels_(std::move(levels)) {}

void FanPolicy::enter(int index, double now) {
    currentIndex_ = index;
    enteredAt_ = now;
    belowCount_ = 0;
    std::fill(aboveCounts_.begin(), aboveCounts_.end(), 0);
}

PolicyDecision FanPolicy::unchanged(const char* reason) const {
    return {currentIndex_, currentIndex_, false, reason};
}

PolicyDecision FanPolicy::changedTo(int index, double now, std::string reason) {
    const int previous = currentIndex_;
    enter(index, now);
    return {previous, index, true, std::move(reason)};
}

PolicyDecision FanPolicy::update(double temperature, double now) {
    const int levelCount = static_cast<int>(levels_.size());
    int candidate = -1;
    for (int k = 0; k < levelCount; ++k) {
        const auto& level = levels_[static_cast<std::size_t>(k)];
        auto& count = aboveCounts_[static_cast<std::size_t>(k)];
        // A temperature that is not a number fails the comparison and clears the count.
        count = level.enterCelsius <= temperature ? count + 1 : 0;
        if (count >= level.enterSamples) {
            candidate = k;
        }
    }
    if (candidate > currentIndex_) {
        const auto& name = levels_[static_cast<std::size_t>(candidate)].name;
        return changedTo(candidate, now, L10n::format("Entered the %@ threshold", name));
    }
    if (currentIndex_ < 0) {
        return unchanged("automatic");
    }

    const auto& current = levels_[static_cast<std::size_t>(currentIndex_)];
    // A time that cannot be compared (NaN) counts as still within the hold.
    if (!(now - enteredAt_ >= current.minimumHoldSeconds)) {
        return unchanged("minimum hold");
    }
    belowCount_ = temperature <= current.exitCelsius ? belowCount_ + 1 : 0;
    if (belowCount_ < current.exitSamples) {
        return unchanged("hysteresis");
    }

    int target = -1;
    for (int j = currentIndex_ - 1; j >= 0; --j) {
        if (levels_[static_cast<std::size_t>(j)].exitCelsius < temperature) {
            target = j;
            break;
        }
    }
    if (target < 0) {
        return changedTo(-1, now, L10n::string("Returned to Apple Automatic"));
    }
    const auto& name = levels_[static_cast<std::size_t>(target)].name;
    return changedTo(target, now, L10n::format("Stepped down to %@", name));
}

PolicyDecision FanPolicy::forceHighestLevel(double now) {
    const int last = static_cast<int>(levels_.size()) - 1;
    if (levels_.empty() || currentIndex_ == last) {
        return unchanged("emergency");
    }
    const auto& name = levels_.back().name;
    return changedTo(last, now, L10n::format("Entered the %@ threshold", name));
}

}  // namespace ventrella::core
