#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>

namespace ventrella::bench {

// A program that watches temperatures and sets fan levels, as the watch-cost benchmark drives
// it. measureWatchCost() runs every one alike: start it at the interval, measure its process
// for the duration, take the temperature over its threshold part-way, and see when its new fan
// level takes effect.
//
// Each contender implements it: ThinkfanController (the peer a Linux user would pick) and the
// application model, run headless against virtual-mac: its implementation starts the model
// process at the interval against a simulated Mac, crosses its threshold by raising the
// simulated load (the crossing is the moment the simulated temperature passes the threshold),
// and counts the target as reached when the simulated fans show it, verified. It joins the
// list in WatchCostBenchmark.cpp.
class WatchedController {
  public:
    using Clock = std::chrono::steady_clock;

    virtual ~WatchedController() = default;

    // One line naming the program and how it runs, for the report.
    virtual std::string description() const = 0;
    // Why it cannot run here (a package missing, not root), or nullopt.
    virtual std::optional<std::string> unavailableReason() const = 0;

    // Starts the program watching every `interval`, below its threshold, and returns its
    // process id once it has completed a cycle. Throws std::runtime_error when it does not.
    virtual pid_t start(std::chrono::seconds interval) = 0;
    // Takes the watched temperature over the threshold; returns the moment it crossed.
    virtual Clock::time_point crossThreshold() = 0;
    // Follows the program until `deadline` (at most): notes its cycles and fan levels. Throws
    // std::runtime_error when the program has ended.
    virtual void followUntil(Clock::time_point deadline) = 0;
    // When the new fan level took effect after the crossing, once it has.
    virtual std::optional<Clock::time_point> targetReached() const = 0;
    // The cycles completed since start() returned, where they can be seen from outside.
    virtual std::optional<int> cyclesSeen() const = 0;
    // Ends the program and removes what start() laid out; safe to call more than once.
    virtual void stop() = 0;
};

}  // namespace ventrella::bench
