#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

#include "ProcessCost/ProcStat.h"
#include "ProcessCost/ProcessCostSampler.h"
#include "Support/Eventually.h"
#include "Support/FileContents.h"
#include "Support/ProbeProcess.h"

namespace {

using namespace std::chrono_literals;
using ventrella::bench::ProcessCost;
using ventrella::bench::ProcessCostSampler;
using ventrella::testsupport::ProbeProcess;

// True once the probe waits for its input and so runs no more until it gets some.
bool asleep(const ProbeProcess& probe) {
    const auto stat = ventrella::bench::parseProcStat(
        ventrella::testsupport::readFile("/proc/" + std::to_string(probe.pid()) + "/stat"));
    return stat && stat->state == 'S';
}

// Tells the probe to take a step and waits until it has.
void step(ProbeProcess& probe, const std::string& command) {
    probe.send(command);
    ASSERT_EQ(probe.readLine(), "done") << command;
}

// What each kind of probe holds, and what the steps it was told to take cost it: counts that do
// not depend on how fast or busy the machine is (what the probes cost over time is measured by
// process-cost-bench).
TEST(ProcessCostSamplerTest, CountsWhatEachKindOfProcessHoldsAndDoes) {
    struct Case {
        const char* mode;
        std::function<void(ProbeProcess&, ProcessCostSampler&)> steps;
        std::function<void(const ProcessCost&)> check;
    };
    const Case cases[] = {
        {"idle",
         {},
         [](const ProcessCost& cost) {
             // Being looked at does not wake it.
             EXPECT_EQ(cost.cpuTime, 0ns);
             EXPECT_EQ(cost.wakeups(), 0u);
             EXPECT_EQ(cost.finalThreads, 1u);
             EXPECT_EQ(cost.mostThreads, 1u);
             EXPECT_GT(cost.finalResidentKiB, 0);
         }},
        {"memory",
         {},
         [](const ProcessCost& cost) {
             EXPECT_GE(cost.peakResidentKiB, 64 * 1024);
             EXPECT_LT(cost.finalResidentKiB, cost.peakResidentKiB - 32 * 1024);
             EXPECT_LT(cost.mostResidentKiB, cost.peakResidentKiB - 32 * 1024);
         }},
        {"threads",
         {},
         [](const ProcessCost& cost) {
             EXPECT_EQ(cost.finalThreads, 4u);
             EXPECT_EQ(cost.mostThreads, 4u);
             EXPECT_EQ(cost.threadsStarted, 0u);
             EXPECT_EQ(cost.threadsEnded, 0u);
         }},
        {"steps",
         [](ProbeProcess& probe, ProcessCostSampler& sampler) {
             step(probe, "spin 200");
             step(probe, "sleep 50");
             // Two threads in turn, each seen by a look while it lives and by one after.
             for (int round = 0; round < 2; ++round) {
                 step(probe, "start");
                 sampler.sample();
                 step(probe, "end");
                 sampler.sample();
             }
         },
         [](const ProcessCost& cost) {
             EXPECT_GE(cost.cpuTime, 200ms);
             EXPECT_LE(cost.cpuTime, cost.wallTime);
             EXPECT_GE(cost.userTicks, cost.systemTicks);
             // Each sleep, and each wait for the next step, is a wake-up of its own.
             EXPECT_GE(cost.voluntarySwitches, 50u);
             EXPECT_EQ(cost.threadsStarted, 2u);
             EXPECT_EQ(cost.threadsEnded, 2u);
             EXPECT_EQ(cost.mostThreads, 2u);
             EXPECT_EQ(cost.finalThreads, 1u);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ProbeProcess probe(COST_PROBE, {}, {}, {c.mode});
        ASSERT_TRUE(probe.waitReady());
        ASSERT_TRUE(ventrella::testsupport::eventually([&] { return asleep(probe); }));
        ProcessCostSampler sampler(probe.pid());
        if (c.steps) {
            c.steps(probe, sampler);
        }
        sampler.sample();
        c.check(sampler.finish());
        EXPECT_EQ(probe.finish(), 0);
    }
}

TEST(ProcessCostSamplerTest, AProcessThatHasEndedCannotBeMeasured) {
    ProbeProcess probe(COST_PROBE, {}, {}, {"idle"});
    ASSERT_TRUE(probe.waitReady());
    const pid_t pid = probe.pid();
    ProcessCostSampler sampler(pid);
    ASSERT_TRUE(probe.waitUntilExitedButNotReaped());
    EXPECT_THROW(sampler.sample(), std::runtime_error);
    EXPECT_EQ(probe.finish(), 0);
    EXPECT_THROW(sampler.finish(), std::runtime_error);
    EXPECT_THROW(ProcessCostSampler{pid}, std::runtime_error);
}

}  // namespace
