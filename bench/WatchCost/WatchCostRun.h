#pragma once

#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "ProcessCost/ProcessCost.h"
#include "WatchCost/WatchedController.h"

namespace ventrella::bench {

struct WatchCostScenario {
    std::chrono::seconds interval{3};
    std::chrono::seconds duration{60};
    // After the measurement starts, which is half an interval after one of the contender's
    // cycles: 30 s puts the crossing half-way between its cycles, so the reaction is the one to
    // expect on average (a crossing falls anywhere in a cycle), not a lucky or an unlucky one,
    // and the measurement holds whole cycles.
    std::chrono::milliseconds crossingAt{30000};
    // How often the process is looked at between the first and last look.
    std::chrono::milliseconds lookEvery{1000};
};

struct WatchCostReport {
    std::string description;
    std::chrono::seconds interval{};
    ProcessCost cost;
    std::optional<int> cyclesSeen;                     // during the measurement
    std::optional<std::chrono::nanoseconds> reaction;  // crossing to the target taking effect

    // The cycles seen, or as many as the interval fits into the time measured.
    double cycles() const;
    std::chrono::nanoseconds cpuPerCycle() const;
    double wakeupsPerCycle() const;
};

// Runs one contender through the scenario and measures it: starts it, measures from half an
// interval after the cycle start() returned after, crosses, and stops it whatever happens. Throws
// std::runtime_error when it does not start or ends on its own.
WatchCostReport measureWatchCost(WatchedController& controller, const WatchCostScenario& scenario);

void printReport(std::ostream& out, const WatchCostReport& report);
// The figures of every contender side by side.
void printComparison(std::ostream& out, const std::vector<WatchCostReport>& reports);

}  // namespace ventrella::bench
