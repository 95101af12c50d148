#pragma once

#include <memory>
#include <utility>

namespace platform::workspace {

// Handed to every will-sleep observer: the machine waits (for a bounded time) with going to
// sleep until every acknowledgement handed out for that notification has been released, by
// acknowledge() or by destruction. Keep it, or a copy, for as long as the work that must finish
// before sleep runs, on any thread; a copy holds the sleep back as much as the original.
class SleepAcknowledgement {
  public:
    SleepAcknowledgement() = default;
    // `pendingSleep` is released by this object and its copies; whoever made it learns the
    // acknowledgement when the last owner lets it go.
    explicit SleepAcknowledgement(std::shared_ptr<void> pendingSleep)
        : pendingSleep_(std::move(pendingSleep)) {}

    // This holder has finished; further calls do nothing.
    void acknowledge() { pendingSleep_.reset(); }
    // True until acknowledge() (or a move away).
    bool holdsSleep() const { return pendingSleep_ != nullptr; }

  private:
    std::shared_ptr<void> pendingSleep_;
};

}  // namespace platform::workspace
