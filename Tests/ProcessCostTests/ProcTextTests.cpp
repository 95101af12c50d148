#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "ProcessCost/ProcStat.h"
#include "ProcessCost/ProcStatus.h"

namespace {

using ventrella::bench::parseProcStat;
using ventrella::bench::parseProcStatus;
using ventrella::bench::ProcStat;
using ventrella::bench::ProcStatus;

// Captured from a process in a shell; the fields after the name are those of proc(5).
const std::string shellStat =
    "30704 (bash) R 30702 30702 26045 0 -1 4194368 0 0 0 0 17 5 0 0 20 0 1 0 621302 4833280 "
    "138 18446744073709551615 94401636130816 94401636920221 140725118032944 0 0 0 81922 0 "
    "81920 0 0 0 17 0 0 0 0 0 0 94401637153520 94401637201764 94401922334720 140725118040890 "
    "140725118040905 140725118040905 140725118042090 0\n";

std::string withName(const std::string& name) {
    return "4242 (" + name +
           ") S 1 4242 4242 0 -1 4194560 95 0 0 0 1234 567 3 4 20 0 7 0 "
           "99887766 241135616 3005 18446744073709551615 1 1 0 0 0 0 0 4096 17920 0 0 0 17 3 0 0 "
           "0 0 0\n";
}

TEST(ProcStatTest, ReadsTheFieldsOfAStatLine) {
    struct Case {
        const char* what;
        std::string text;
        std::optional<ProcStat> expected;
    };
    const ProcStat named{'S', 1234, 567, 7, 99887766};
    const Case cases[] = {
        {"a shell", shellStat, ProcStat{'R', 17, 5, 1, 621302}},
        {"a kernel thread",
         "2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 4 0 0 20 0 1 0 37 0 0 "
         "18446744073709551615 0 0 0 0 0 0 0 2147483647 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0",
         ProcStat{'S', 0, 4, 1, 37}},
        {"a name with blanks", withName("Web Content"), named},
        {"a name with parentheses and numbers", withName("a) R 1 2 (b"), named},
        {"an empty name", withName(""), named},
        {"a name that is a closing parenthesis", withName(")"), named},
        {"nothing", "", std::nullopt},
        {"no name", "4242 S 1 4242 4242 0 -1 4194560 95 0 0 0 1234 567 3 4 20 0 7 0 9 2 3",
         std::nullopt},
        {"cut after the thread count",
         "4242 (x) S 1 4242 4242 0 -1 4194560 95 0 0 0 1 2 3 4 20 "
         "0 7 0",
         std::nullopt},
        {"a state of two letters",
         "4242 (x) SR 1 4242 4242 0 -1 4194560 95 0 0 0 1 2 3 4 20 0 "
         "7 0 99 0 0",
         std::nullopt},
        {"user time not a number",
         "4242 (x) S 1 4242 4242 0 -1 4194560 95 0 0 0 1x 2 3 4 20 0 "
         "7 0 99 0 0",
         std::nullopt},
        {"negative system time",
         "4242 (x) S 1 4242 4242 0 -1 4194560 95 0 0 0 1 -2 3 4 20 0 7 "
         "0 99 0 0",
         std::nullopt},
        {"a zombie whose threads have gone",
         "4242 (x) Z 1 4242 4242 0 -1 4194560 95 0 0 0 1 2 3 4 20 0 0 0 99 0 0",
         ProcStat{'Z', 1, 2, 0, 99}},
        {"a start time past 64 bits",
         "4242 (x) S 1 4242 4242 0 -1 4194560 95 0 0 0 1 2 3 4 20 0 7 0 "
         "99999999999999999999999 0 0",
         std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseProcStat(c.text), c.expected) << c.what;
}

// Captured from `sleep`, cut to the lines around those the figures use.
const std::string sleepStatus =
    "Name:\tsleep\nUmask:\t0022\nState:\tS (sleeping)\nTgid:\t30704\nPid:\t30704\n"
    "VmPeak:\t    2920 kB\nVmSize:\t    2920 kB\nVmHWM:\t    1684 kB\nVmRSS:\t    1584 kB\n"
    "RssAnon:\t     108 kB\nThreads:\t1\nSigQ:\t2/96363\n"
    "Mems_allowed:\t00000000,00000001\nMems_allowed_list:\t0\n"
    "voluntary_ctxt_switches:\t31\nnonvoluntary_ctxt_switches:\t4\n";

TEST(ProcStatusTest, ReadsMemoryThreadsAndSwitches) {
    struct Case {
        const char* what;
        std::string text;
        std::optional<ProcStatus> expected;
    };
    const std::string switches = "voluntary_ctxt_switches:\t7\nnonvoluntary_ctxt_switches:\t2\n";
    const Case cases[] = {
        {"a sleeping process", sleepStatus, ProcStatus{1584, 1684, 1, 31, 4}},
        {"a kernel thread has no memory lines", "Name:\tkthreadd\nThreads:\t1\n" + switches,
         ProcStatus{std::nullopt, std::nullopt, 1, 7, 2}},
        {"no thread count", "Name:\tworker\nVmRSS:\t 12 kB\n" + switches,
         ProcStatus{12, std::nullopt, std::nullopt, 7, 2}},
        {"the last line without its newline",
         "VmRSS:\t5 kB\nvoluntary_ctxt_switches:\t7\nnonvoluntary_ctxt_switches:\t2",
         ProcStatus{5, std::nullopt, std::nullopt, 7, 2}},
        {"counters past 32 bits",
         "voluntary_ctxt_switches:\t8589934592\nnonvoluntary_ctxt_switches:\t4294967296\n",
         ProcStatus{std::nullopt, std::nullopt, std::nullopt, 8589934592ULL, 4294967296ULL}},
        {"no involuntary switches", "VmRSS:\t5 kB\nvoluntary_ctxt_switches:\t7\n", std::nullopt},
        {"no voluntary switches", "nonvoluntary_ctxt_switches:\t7\n", std::nullopt},
        {"nothing", "", std::nullopt},
        {"a resident size in another unit", "VmRSS:\t5 MB\n" + switches, std::nullopt},
        {"a negative resident size", "VmRSS:\t-5 kB\n" + switches, std::nullopt},
        {"a switch count that is not a number",
         "voluntary_ctxt_switches:\tmany\nnonvoluntary_ctxt_switches:\t2\n", std::nullopt},
        {"an empty peak", "VmHWM:\t\n" + switches, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseProcStatus(c.text), c.expected) << c.what;
}

}  // namespace
