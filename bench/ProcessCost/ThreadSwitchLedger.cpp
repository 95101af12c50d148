#include "ProcessCost/ThreadSwitchLedger.h"

#include <algorithm>
#include <set>

namespace ventrella::bench {

ThreadSwitchLedger::ThreadSwitchLedger(const std::vector<ThreadSwitches>& firstLook) {
    for (const auto& thread : firstLook)
        see(thread, false);
    current_ = mostThreads_ = threads_.size();
}

void ThreadSwitchLedger::see(const ThreadSwitches& thread, bool fromZero) {
    const Key key{thread.tid, thread.startTicks};
    auto found = threads_.find(key);
    if (found == threads_.end()) {
        Counts counts;
        if (!fromZero) {
            counts.firstVoluntary = thread.voluntary;
            counts.firstInvoluntary = thread.involuntary;
        }
        counts.lastVoluntary = thread.voluntary;
        counts.lastInvoluntary = thread.involuntary;
        threads_.emplace(key, counts);
        return;
    }
    // Counters only grow; a smaller one would be a misread, not a thread giving switches back.
    found->second.lastVoluntary = std::max(found->second.lastVoluntary, thread.voluntary);
    found->second.lastInvoluntary = std::max(found->second.lastInvoluntary, thread.involuntary);
}

void ThreadSwitchLedger::record(const std::vector<ThreadSwitches>& look) {
    std::set<Key> seen;
    for (const auto& thread : look) {
        const Key key{thread.tid, thread.startTicks};
        const auto found = threads_.find(key);
        // An ended thread does not come back: its id and start time were misread.
        if (found != threads_.end() && !found->second.alive)
            continue;
        if (!seen.insert(key).second)
            continue;
        if (found == threads_.end())
            ++started_;
        see(thread, true);
    }
    for (auto& [key, counts] : threads_) {
        if (counts.alive && !seen.contains(key)) {
            counts.alive = false;
            ++ended_;
        }
    }
    current_ = seen.size();
    mostThreads_ = std::max(mostThreads_, current_);
}

unsigned long long ThreadSwitchLedger::voluntary() const {
    unsigned long long total = 0;
    for (const auto& [key, counts] : threads_)
        total += counts.lastVoluntary - counts.firstVoluntary;
    return total;
}

unsigned long long ThreadSwitchLedger::involuntary() const {
    unsigned long long total = 0;
    for (const auto& [key, counts] : threads_)
        total += counts.lastInvoluntary - counts.firstInvoluntary;
    return total;
}

}  // namespace ventrella::bench
