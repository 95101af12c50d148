#pragma once

#include <sys/types.h>

#include <cstddef>
#include <map>
#include <utility>
#include <vector>

namespace ventrella::bench {

// One thread's context switches as one look at /proc/<pid>/task found them.
struct ThreadSwitches {
    pid_t tid = 0;
    unsigned long long startTicks = 0;  // tells a reused thread id from its earlier thread
    unsigned long long voluntary = 0;
    unsigned long long involuntary = 0;
};

// Adds up the context switches of a process's threads over an interval from repeated looks at
// them. /proc keeps no count for threads that have ended, so:
// - a thread at the first look counts from its counts then;
// - a thread first seen later started during the interval and counts from zero;
// - a thread missing from a look has ended: what it switched after the look before is lost,
//   and a thread that started and ended between two looks is not seen at all. Looking more
//   often loses less; threadsEnded() says whether anything may be missing.
class ThreadSwitchLedger {
  public:
    explicit ThreadSwitchLedger(const std::vector<ThreadSwitches>& firstLook);

    void record(const std::vector<ThreadSwitches>& look);

    unsigned long long voluntary() const;
    unsigned long long involuntary() const;
    std::size_t threadsStarted() const { return started_; }
    std::size_t threadsEnded() const { return ended_; }
    // The most threads any one look found.
    std::size_t mostThreads() const { return mostThreads_; }
    std::size_t currentThreads() const { return current_; }

  private:
    struct Counts {
        unsigned long long firstVoluntary = 0;
        unsigned long long firstInvoluntary = 0;
        unsigned long long lastVoluntary = 0;
        unsigned long long lastInvoluntary = 0;
        bool alive = true;
    };
    using Key = std::pair<pid_t, unsigned long long>;

    void see(const ThreadSwitches& thread, bool fromZero);

    std::map<Key, Counts> threads_;
    std::size_t started_ = 0;
    std::size_t ended_ = 0;
    std::size_t mostThreads_ = 0;
    std::size_t current_ = 0;
};

}  // namespace ventrella::bench
