#pragma once

#include "Platform/Dispatch/MainExecutor.h"

#include <charconv>
#include <string>
#include <vector>

namespace dispatchtests {

// What the coroutines under test did, each entry stamped with the executor's
// uptime, so that one comparison checks both order and timing.
class RuntimeJournal {
  public:
    explicit RuntimeJournal(platform::dispatch::MainExecutor& executor) : executor_(executor) {}

    void add(const std::string& what) {
        char text[32];
        auto end = std::to_chars(text, text + sizeof text, executor_.uptime()).ptr;
        entries_.push_back(what + "@" + std::string(text, end));
    }

    const std::vector<std::string>& entries() const { return entries_; }
    void clear() { entries_.clear(); }

  private:
    platform::dispatch::MainExecutor& executor_;
    std::vector<std::string> entries_;
};

}  // namespace dispatchtests
