#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ventrella::fakes {

// One ordered record of the calls several fakes receive, so a test can assert their order
// across hardware, marker, watchdog and clock.
class CallLog {
  public:
    void record(std::string entry) { entries_.push_back(std::move(entry)); }
    const std::vector<std::string>& entries() const { return entries_; }
    void clear() { entries_.clear(); }

  private:
    std::vector<std::string> entries_;
};

}  // namespace ventrella::fakes
