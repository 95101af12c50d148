#include <gtest/gtest.h>

#include <vector>

#include "ProcessCost/ThreadSwitchLedger.h"

namespace {

using ventrella::bench::ThreadSwitches;
using ventrella::bench::ThreadSwitchLedger;

struct Totals {
    unsigned long long voluntary;
    unsigned long long involuntary;
    std::size_t started;
    std::size_t ended;
    std::size_t most;
    std::size_t current;

    bool operator==(const Totals&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Totals& t) {
    return out << "{voluntary " << t.voluntary << ", involuntary " << t.involuntary << ", started "
               << t.started << ", ended " << t.ended << ", most " << t.most << ", current "
               << t.current << "}";
}

TEST(ThreadSwitchLedgerTest, AddsUpTheThreadsOfEveryLook) {
    using Look = std::vector<ThreadSwitches>;
    struct Case {
        const char* what;
        std::vector<Look> looks;  // the first is where the interval starts
        Totals expected;
    };
    const Case cases[] = {
        {"one thread: only what it switched during the interval",
         {{{10, 500, 40, 3}}, {{10, 500, 45, 3}}, {{10, 500, 52, 4}}},
         {12, 1, 0, 0, 1, 1}},
        {"two threads add up",
         {{{10, 500, 40, 3}, {11, 501, 7, 0}}, {{10, 500, 41, 3}, {11, 501, 17, 2}}},
         {11, 2, 0, 0, 2, 2}},
        {"a thread that starts during the interval counts from zero",
         {{{10, 500, 40, 3}},
          {{10, 500, 40, 3}, {12, 900, 6, 1}},
          {{10, 500, 40, 3}, {12, 900, 9, 1}}},
         {9, 1, 1, 0, 2, 2}},
        {"a thread that ends keeps what it switched up to the look before",
         {{{10, 500, 40, 3}, {11, 501, 7, 0}},
          {{10, 500, 40, 3}, {11, 501, 12, 1}},
          {{10, 500, 41, 3}}},
         {6, 1, 0, 1, 2, 1}},
        {"a reused thread id with a new start time is a new thread",
         {{{10, 500, 40, 3}, {11, 501, 7, 0}}, {{10, 500, 40, 3}, {11, 777, 2, 0}}},
         {2, 0, 1, 1, 2, 2}},
        {"an ended thread read again is not counted twice",
         {{{10, 500, 1, 0}, {11, 501, 7, 0}},
          {{10, 500, 1, 0}},
          {{10, 500, 1, 0}, {11, 501, 9, 0}}},
         {0, 0, 0, 1, 2, 1}},
        {"a counter read smaller than before is a misread, not switches given back",
         {{{10, 500, 40, 3}}, {{10, 500, 50, 3}}, {{10, 500, 45, 3}}},
         {10, 0, 0, 0, 1, 1}},
        {"a thread listed twice in one look counts once",
         {{{10, 500, 40, 3}}, {{10, 500, 44, 3}, {10, 500, 44, 3}}},
         {4, 0, 0, 0, 1, 1}},
        {"threads come and go: the most at once",
         {{{10, 500, 0, 0}},
          {{10, 500, 0, 0}, {11, 600, 1, 0}, {12, 600, 1, 0}},
          {{10, 500, 0, 0}, {13, 700, 1, 0}}},
         {3, 0, 3, 2, 3, 2}},
    };
    for (const auto& c : cases) {
        ThreadSwitchLedger ledger(c.looks.front());
        for (std::size_t i = 1; i < c.looks.size(); ++i)
            ledger.record(c.looks[i]);
        const Totals totals{ledger.voluntary(),    ledger.involuntary(), ledger.threadsStarted(),
                            ledger.threadsEnded(), ledger.mostThreads(), ledger.currentThreads()};
        EXPECT_EQ(totals, c.expected) << c.what;
    }
}

}  // namespace
