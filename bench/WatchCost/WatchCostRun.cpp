#include "WatchCost/WatchCostRun.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "ProcessCost/ProcessCostSampler.h"

namespace ventrella::bench {

namespace {

using Clock = WatchedController::Clock;

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

double milliseconds(std::chrono::nanoseconds time) {
    return std::chrono::duration<double, std::milli>(time).count();
}

std::string reactionText(const WatchCostReport& report) {
    if (!report.reaction)
        return "none seen";
    return fixed(std::chrono::duration<double>(*report.reaction).count(), 3) + " s";
}

}  // namespace

double WatchCostReport::cycles() const {
    if (cyclesSeen)
        return *cyclesSeen;
    return std::chrono::duration<double>(cost.wallTime).count() /
           static_cast<double>(interval.count());
}

std::chrono::nanoseconds WatchCostReport::cpuPerCycle() const {
    const double count = cycles();
    return count > 0 ? std::chrono::nanoseconds(static_cast<long long>(
                           static_cast<double>(cost.cpuTime.count()) / count))
                     : cost.cpuTime;
}

double WatchCostReport::wakeupsPerCycle() const {
    const double count = cycles();
    return count > 0 ? static_cast<double>(cost.wakeups()) / count : 0.0;
}

WatchCostReport measureWatchCost(WatchedController& controller, const WatchCostScenario& scenario) {
    struct Stopper {
        WatchedController& controller;
        ~Stopper() { controller.stop(); }
    } stopper{controller};

    const pid_t pid = controller.start(scenario.interval);
    controller.followUntil(Clock::now() + std::chrono::milliseconds(scenario.interval) / 2);
    ProcessCostSampler sampler(pid);
    const auto cyclesBefore = controller.cyclesSeen();
    const auto begin = Clock::now();
    const auto crossingTime = begin + scenario.crossingAt;
    const auto end = begin + scenario.duration;
    auto nextLook = begin + scenario.lookEvery;
    std::optional<Clock::time_point> crossed;
    while (true) {
        const auto now = Clock::now();
        if (!crossed && now >= crossingTime && now < end)
            crossed = controller.crossThreshold();
        if (now >= end)
            break;
        controller.followUntil(std::min({nextLook, end, crossed ? end : crossingTime}));
        if (Clock::now() >= nextLook) {
            sampler.sample();
            nextLook += scenario.lookEvery;
        }
    }

    WatchCostReport report;
    report.description = controller.description();
    report.interval = scenario.interval;
    report.cost = sampler.finish();
    if (const auto cyclesAfter = controller.cyclesSeen(); cyclesBefore && cyclesAfter)
        report.cyclesSeen = *cyclesAfter - *cyclesBefore;
    const auto reached = controller.targetReached();
    if (crossed && reached && *reached >= *crossed)
        report.reaction = *reached - *crossed;
    return report;
}

void printReport(std::ostream& out, const WatchCostReport& report) {
    const auto& cost = report.cost;
    out << report.description << "\n"
        << "  measured " << fixed(std::chrono::duration<double>(cost.wallTime).count(), 1)
        << " s at a " << report.interval.count()
        << "-second interval: " << fixed(report.cycles(), report.cyclesSeen ? 0 : 1) << " cycles"
        << (report.cyclesSeen ? " seen" : " (not seen: the time over the interval)") << "\n"
        << "  CPU " << fixed(milliseconds(cost.cpuTime), 3) << " ms (user " << cost.userTicks
        << ", system " << cost.systemTicks << " clock ticks), "
        << fixed(milliseconds(report.cpuPerCycle()), 3) << " ms per cycle, "
        << fixed(cost.coreShare() * 100, 4) << " % of one core\n"
        << "  wake-ups " << cost.wakeups() << " (voluntary " << cost.voluntarySwitches
        << ", involuntary " << cost.involuntarySwitches << "), "
        << fixed(report.wakeupsPerCycle(), 2) << " per cycle\n"
        << "  resident memory " << cost.finalResidentKiB << " kB at the end (most seen "
        << cost.mostResidentKiB << " kB, lifetime peak " << cost.peakResidentKiB << " kB); threads "
        << cost.finalThreads << " (most " << cost.mostThreads << ", started " << cost.threadsStarted
        << ", ended " << cost.threadsEnded << ")\n"
        << "  threshold crossing to the new fan level: " << reactionText(report) << "\n";
}

void printComparison(std::ostream& out, const std::vector<WatchCostReport>& reports) {
    char line[256];
    std::snprintf(line, sizeof line, "%-24s %7s %12s %15s %10s %9s %10s\n", "contender", "cycles",
                  "CPU/cycle", "wake-ups/cycle", "core", "RSS", "reaction");
    out << line;
    for (const auto& report : reports) {
        const auto name = report.description.substr(0, report.description.find(' '));
        std::snprintf(line, sizeof line, "%-24s %7s %9s ms %15s %8s %% %6lld kB %10s\n",
                      name.substr(0, 24).c_str(), fixed(report.cycles(), 0).c_str(),
                      fixed(milliseconds(report.cpuPerCycle()), 3).c_str(),
                      fixed(report.wakeupsPerCycle(), 2).c_str(),
                      fixed(report.cost.coreShare() * 100, 4).c_str(), report.cost.finalResidentKiB,
                      reactionText(report).c_str());
        out << line;
    }
}

}  // namespace ventrella::bench
