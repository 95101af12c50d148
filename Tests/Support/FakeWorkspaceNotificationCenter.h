#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "Platform/Workspace/WorkspaceNotificationCenter.h"

namespace ventrella::fakes {

// A notification center the test posts to. Handlers run on the posting (test) thread, in the
// order they were added, as the real center runs them on its own thread.
class FakeWorkspaceNotificationCenter : public platform::workspace::WorkspaceNotificationCenter {
  public:
    // One posted will-sleep: acknowledged once every acknowledgement handed out for it has
    // been released.
    class PostedSleep {
      public:
        explicit PostedSleep(std::weak_ptr<void> pending) : pending_(std::move(pending)) {}
        bool acknowledged() const { return pending_.expired(); }

      private:
        std::weak_ptr<void> pending_;
    };

    PostedSleep postWillSleep() {
        auto pending = std::make_shared<int>(0);
        for (const auto& handler : copyOf(willSleep_)) {
            handler(platform::workspace::SleepAcknowledgement(pending));
        }
        return PostedSleep(pending);
    }

    void postDidWake() {
        for (const auto& handler : copyOf(didWake_)) {
            handler();
        }
    }

    std::size_t willSleepObserverCount() const { return willSleep_.size(); }
    std::size_t didWakeObserverCount() const { return didWake_.size(); }

    platform::workspace::WorkspaceObserverToken addWillSleepObserver(
        platform::workspace::WillSleepHandler handler) override {
        willSleep_.emplace(next_, std::move(handler));
        return {next_++};
    }

    platform::workspace::WorkspaceObserverToken addDidWakeObserver(
        platform::workspace::DidWakeHandler handler) override {
        didWake_.emplace(next_, std::move(handler));
        return {next_++};
    }

    void removeObserver(platform::workspace::WorkspaceObserverToken token) override {
        willSleep_.erase(token.value);
        didWake_.erase(token.value);
    }

  private:
    // Handlers may add or remove observers while they run.
    template <class Handler>
    static std::vector<Handler> copyOf(const std::map<std::uint64_t, Handler>& table) {
        std::vector<Handler> copy;
        for (const auto& [token, handler] : table) {
            copy.push_back(handler);
        }
        return copy;
    }

    std::map<std::uint64_t, platform::workspace::WillSleepHandler> willSleep_;
    std::map<std::uint64_t, platform::workspace::DidWakeHandler> didWake_;
    std::uint64_t next_ = 1;
};

}  // namespace ventrella::fakes
