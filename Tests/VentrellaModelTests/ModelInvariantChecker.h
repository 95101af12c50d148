#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>

#include "Ventrella/App/Model/AppModel.h"

namespace ventrella::modeltests {

// What holds of the model between any two of its steps. A test checks it after each of its own
// steps and, through watch(), before every write of a published field.
class ModelInvariantChecker {
  public:
    enum class Invariant {
        // Owning the fans exactly while a target percentage is held.
        ownershipMatchesTarget,
        // A held target is a cooling percentage (1...100).
        targetIsAPercentage,
        // The control epoch never decreases.
        epochNeverDecreases,
        // The published settings pass validation.
        settingsAreValid,
        // The policy has the settings' levels and is at Apple Automatic or one of them.
        policyFitsSettings,
        // Counts are never negative: sensor failures and outstanding cooling requests.
        countsNotNegative,
        // The published temperature, when present, is a number.
        temperatureIsFinite,
    };

    // The test breaks this invariant on purpose from now on; it is no longer reported.
    void allowBroken(Invariant invariant) { allowed_.insert(invariant); }

    // Each broken invariant is a test failure naming `when`.
    void check(model::AppModel& model, const std::string& when);

    // Checks before every write of one of the model's published fields; a model newly
    // watched starts its own epoch history.
    void watch(model::AppModel& model);

    int checksRun() const { return checks_; }

  private:
    void expect(Invariant invariant, bool holds, const std::string& what, const std::string& when);

    std::set<Invariant> allowed_;
    std::optional<std::int64_t> lastEpoch_;
    int checks_ = 0;
};

}  // namespace ventrella::modeltests
