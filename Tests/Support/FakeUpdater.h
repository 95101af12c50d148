#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "Ventrella/UI/Updater.h"

namespace ventrella::fakes {

// An updater whose state the test keeps (the manager owns the updater): whether it was started,
// how many checks it was asked for, and a canCheckForUpdates the test changes from any thread.
class FakeUpdater : public ui::Updater {
  public:
    struct State {
        mutable std::mutex mutex;
        bool started = false;
        bool canCheck = false;
        bool automaticallyChecks = false;
        int checks = 0;
        std::function<void(bool)> observer;

        // Changes the value and tells the observer, on the calling thread.
        void setCanCheckForUpdates(bool value) {
            std::function<void(bool)> notify;
            {
                std::lock_guard lock(mutex);
                canCheck = value;
                notify = observer;
            }
            if (notify) {
                notify(value);
            }
        }
        bool hasObserver() const {
            std::lock_guard lock(mutex);
            return static_cast<bool>(observer);
        }
    };

    explicit FakeUpdater(std::shared_ptr<State> state) : state_(std::move(state)) {}

    void startUpdater() override {
        std::lock_guard lock(state_->mutex);
        state_->started = true;
    }
    bool canCheckForUpdates() const override {
        std::lock_guard lock(state_->mutex);
        return state_->canCheck;
    }
    void observeCanCheckForUpdates(std::function<void(bool)> observer) override {
        std::lock_guard lock(state_->mutex);
        state_->observer = std::move(observer);
    }
    bool automaticallyChecksForUpdates() const override {
        std::lock_guard lock(state_->mutex);
        return state_->automaticallyChecks;
    }
    void setAutomaticallyChecksForUpdates(bool enabled) override {
        std::lock_guard lock(state_->mutex);
        state_->automaticallyChecks = enabled;
    }
    void checkForUpdates() override {
        std::lock_guard lock(state_->mutex);
        ++state_->checks;
    }

  private:
    std::shared_ptr<State> state_;
};

}  // namespace ventrella::fakes
