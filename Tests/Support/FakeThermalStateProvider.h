#pragma once

#include <atomic>

#include "Platform/Workspace/ThermalStateProvider.h"

namespace ventrella::fakes {

// A thermal state the test sets; readable from any thread, like the real one.
class FakeThermalStateProvider : public platform::workspace::ThermalStateProvider {
  public:
    using State = platform::workspace::ThermalState;

    explicit FakeThermalStateProvider(State state = State::nominal) : state_(state) {}

    State thermalState() const override {
        reads_.fetch_add(1);
        return state_.load();
    }
    void set(State state) { state_.store(state); }
    int reads() const { return reads_.load(); }

  private:
    std::atomic<State> state_;
    mutable std::atomic<int> reads_{0};
};

}  // namespace ventrella::fakes
