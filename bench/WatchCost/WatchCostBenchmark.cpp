// What a fan controller costs while it watches: over one minute at a 3-second interval, its CPU
// time and thread wake-ups per cycle, its resident memory, and the time from a threshold
// crossing part-way to its new fan level.
//
//   watch-cost-bench [--seconds N] [--interval S] [--cross-at T]
//
// T may have a fraction (default: half-way between the cycles nearest the middle).
//
// Each contender runs alone, one after the other, in this one run; one that cannot run here
// is skipped with its reason.

#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "WatchCost/HeadlessModelController.h"
#include "WatchCost/ThinkfanController.h"
#include "WatchCost/WatchCostRun.h"

namespace {

using ventrella::bench::WatchCostScenario;
using ventrella::bench::WatchedController;

std::vector<std::unique_ptr<WatchedController>> contenders() {
    std::vector<std::unique_ptr<WatchedController>> list;
    list.push_back(std::make_unique<ventrella::bench::HeadlessModelController>(
        ventrella::bench::HeadlessModelController::Programs{MODEL_PROGRAM, HELPER_PROGRAM,
                                                            VIRTUAL_MAC_TOOL, INSTALL_SCRIPT}));
    list.push_back(std::make_unique<ventrella::bench::ThinkfanController>(
        ventrella::bench::ThinkfanController::findProgram()));
    return list;
}

// Whole seconds from 1 to an hour, or with `fraction`, milliseconds given as decimal seconds.
template <typename Duration>
bool readSeconds(const std::string& text, Duration& value) {
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    const bool whole = number == static_cast<double>(static_cast<long>(number));
    if (text.empty() || *end != '\0' || !(number > 0 && number <= 3600) ||
        (!whole && std::is_same_v<Duration, std::chrono::seconds>))
        return false;
    value = std::chrono::duration_cast<Duration>(std::chrono::duration<double>(number));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    WatchCostScenario scenario;
    bool crossingGiven = false;
    // Options come in pairs: a name and its value.
    for (int i = 1; i < argc; i += 2) {
        const std::string option = argv[i];
        const std::string value = i + 1 < argc ? argv[i + 1] : "";
        bool ok = false;
        if (option == "--seconds") {
            ok = readSeconds(value, scenario.duration);
        } else if (option == "--interval") {
            ok = readSeconds(value, scenario.interval);
        } else if (option == "--cross-at") {
            ok = readSeconds(value, scenario.crossingAt);
            crossingGiven = true;
        }
        if (!ok) {
            std::cerr << "usage: watch-cost-bench [--seconds N] [--interval S] [--cross-at T]\n";
            return 2;
        }
    }
    if (!crossingGiven) {
        // Half-way between the two cycles nearest the middle of the measurement.
        scenario.crossingAt = (scenario.duration / scenario.interval / 2) * scenario.interval;
    }

    std::vector<ventrella::bench::WatchCostReport> reports;
    int status = 0;
    for (auto& contender : contenders()) {
        if (const auto reason = contender->unavailableReason()) {
            std::cout << "skipped: " << *reason << "\n";
            continue;
        }
        try {
            reports.push_back(ventrella::bench::measureWatchCost(*contender, scenario));
            ventrella::bench::printReport(std::cout, reports.back());
        } catch (const std::exception& error) {
            std::cout << "failed: " << error.what() << "\n";
            status = 1;
        }
    }
    if (!reports.empty()) {
        std::cout << "\n";
        ventrella::bench::printComparison(std::cout, reports);
    }
    return status;
}
