#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace ventrella::shared {

class FanTargetPlannerError : public std::exception {
  public:
    enum class Kind {
        invalidLimits,
        existingCoolingOutsideLimits,
        invalidPercentage,
        noFans,
        duplicateFanID,
    };

    static FanTargetPlannerError invalidLimits(std::int64_t fanID);
    static FanTargetPlannerError existingCoolingOutsideLimits(std::int64_t fanID);
    static FanTargetPlannerError invalidPercentage();
    static FanTargetPlannerError noFans();
    static FanTargetPlannerError duplicateFanID();

    Kind kind() const { return kind_; }
    // Set for the two per-fan cases only.
    std::int64_t fanID() const { return fanID_; }

    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const FanTargetPlannerError& other) const {
        return kind_ == other.kind_ && fanID_ == other.fanID_;
    }

  private:
    FanTargetPlannerError(Kind kind, std::int64_t fanID);

    Kind kind_;
    std::int64_t fanID_;
    std::string description_;
};

}  // namespace ventrella::shared
