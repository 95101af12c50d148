#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

#include "ProcessCost/ProcessCostSampler.h"
#include "Support/ProbeProcess.h"

namespace {

using namespace std::chrono_literals;
using ventrella::bench::ProcessCost;
using ventrella::bench::ProcessCostSampler;
using ventrella::testsupport::ProbeProcess;

ProcessCost measure(const ProbeProcess& probe) {
    ProcessCostSampler sampler(probe.pid());
    for (int i = 0; i < 6; ++i) {
        std::this_thread::sleep_for(100ms);
        sampler.sample();
    }
    return sampler.finish();
}

// Each probe behaves one way for 0.6 s; the figures must tell them apart. The bounds leave room
// for a machine busy with other tests.
TEST(ProcessCostSamplerTest, MeasuresWhatEachKindOfProcessCosts) {
    struct Case {
        const char* mode;
        std::function<void(const ProcessCost&)> check;
    };
    const Case cases[] = {
        {"idle",
         [](const ProcessCost& cost) {
             // Being looked at does not wake it.
             EXPECT_LT(cost.cpuTime, 20ms);
             EXPECT_LE(cost.wakeups(), 2u);
             EXPECT_EQ(cost.finalThreads, 1u);
             EXPECT_EQ(cost.mostThreads, 1u);
             EXPECT_GT(cost.finalResidentKiB, 0);
         }},
        {"busy",
         [](const ProcessCost& cost) {
             // Far above the idle probe's 3 % even when every core is shared with a few
             // other test processes.
             EXPECT_GT(cost.coreShare(), 0.05);
             EXPECT_GT(cost.userTicks, 0u);
             EXPECT_GE(cost.userTicks, cost.systemTicks);
             EXPECT_GE(cost.wallTime, 600ms);
         }},
        {"waker",
         [](const ProcessCost& cost) {
             // Every 2 ms: about 300 wake-ups when the machine is idle.
             EXPECT_GE(cost.voluntarySwitches, 50u);
             EXPECT_LT(cost.coreShare(), 0.5);
         }},
        {"memory",
         [](const ProcessCost& cost) {
             EXPECT_GE(cost.peakResidentKiB, 64 * 1024);
             EXPECT_LT(cost.finalResidentKiB, cost.peakResidentKiB - 32 * 1024);
             EXPECT_LT(cost.mostResidentKiB, cost.peakResidentKiB - 32 * 1024);
         }},
        {"threads",
         [](const ProcessCost& cost) {
             EXPECT_EQ(cost.finalThreads, 4u);
             EXPECT_EQ(cost.mostThreads, 4u);
             EXPECT_EQ(cost.threadsStarted, 0u);
             EXPECT_EQ(cost.threadsEnded, 0u);
         }},
        {"churn",
         [](const ProcessCost& cost) {
             // A new thread every 30 ms: some are seen, and every one was waited for.
             EXPECT_GE(cost.threadsStarted, 2u);
             EXPECT_GE(cost.threadsEnded, 1u);
             EXPECT_EQ(cost.mostThreads, 2u);
             EXPECT_GE(cost.voluntarySwitches, 5u);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        ProbeProcess probe(COST_PROBE, {}, {}, {c.mode});
        ASSERT_TRUE(probe.waitReady());
        c.check(measure(probe));
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
