#pragma once

#include <atomic>
#include <functional>

#include "Platform/Workspace/AccessibilityDisplayOptions.h"

namespace ventrella::fakes {

// Display options the test sets; a change is announced to the one observer on the setting
// thread, as the workspace announces it on its own.
class FakeAccessibilityDisplayOptions : public platform::workspace::AccessibilityDisplayOptions {
  public:
    bool shouldReduceMotion() const override { return reduceMotion_.load(); }
    platform::workspace::WorkspaceObserverToken addDisplayOptionsObserver(
        std::function<void()> handler) override {
        observer = std::move(handler);
        return {1};
    }
    void removeDisplayOptionsObserver(platform::workspace::WorkspaceObserverToken) override {
        observer = nullptr;
    }

    void setReduceMotion(bool reduce) {
        reduceMotion_.store(reduce);
        if (observer) {
            observer();
        }
    }

    std::function<void()> observer;

  private:
    std::atomic<bool> reduceMotion_{false};
};

}  // namespace ventrella::fakes
