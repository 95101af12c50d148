#pragma once

#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

#include "Ventrella/Hardware/FanHardwareReading.h"

namespace ventrella::fakes {

// A hardware reader that answers from a script, for tests of the reader's users (link
// VentrellaAppHardware). Each call takes the next scripted answer, a value or an error to
// throw; the last answer of a script is kept and repeats, so a steady machine needs one entry.
// A call with nothing scripted throws std::logic_error. `onPreflight` and `onSnapshot` run at
// the start of each call (to advance a clock, say). Safe to call from any thread, as the
// model's detached reads do; set the hooks before the first call.
class ScriptedFanHardwareReader : public apphardware::FanHardwareReading {
  public:
    void answerPreflight(apphardware::HardwarePreflight preflight) {
        const std::lock_guard lock(mutex_);
        preflights_.emplace_back(std::move(preflight));
    }
    // Drops what is scripted for the preflight: from now on it answers `preflight`.
    void answerPreflightFromNowOn(apphardware::HardwarePreflight preflight) {
        const std::lock_guard lock(mutex_);
        preflights_.clear();
        preflights_.emplace_back(std::move(preflight));
    }
    void failPreflight(std::exception_ptr error) {
        const std::lock_guard lock(mutex_);
        preflights_.emplace_back(std::move(error));
    }
    void answerSnapshot(core::SensorSnapshot snapshot) {
        const std::lock_guard lock(mutex_);
        snapshots_.emplace_back(std::move(snapshot));
    }
    void failSnapshot(std::exception_ptr error) {
        const std::lock_guard lock(mutex_);
        snapshots_.emplace_back(std::move(error));
    }

    apphardware::HardwarePreflight preflight() override {
        if (onPreflight) {
            onPreflight();
        }
        const std::lock_guard lock(mutex_);
        ++preflightCalls_;
        return next(preflights_, "preflight");
    }

    core::SensorSnapshot snapshot() override {
        if (onSnapshot) {
            onSnapshot();
        }
        const std::lock_guard lock(mutex_);
        ++snapshotCalls_;
        return next(snapshots_, "snapshot");
    }

    std::size_t preflightCalls() const {
        const std::lock_guard lock(mutex_);
        return preflightCalls_;
    }
    std::size_t snapshotCalls() const {
        const std::lock_guard lock(mutex_);
        return snapshotCalls_;
    }

    std::function<void()> onPreflight;
    std::function<void()> onSnapshot;

  private:
    template <class Value>
    using Script = std::deque<std::variant<Value, std::exception_ptr>>;

    template <class Value>
    static Value next(Script<Value>& script, const char* what) {
        if (script.empty()) {
            throw std::logic_error(std::string("no ") + what + " scripted");
        }
        auto answer = script.front();
        if (script.size() > 1) {
            script.pop_front();
        }
        if (auto* error = std::get_if<std::exception_ptr>(&answer)) {
            std::rethrow_exception(*error);
        }
        return std::get<Value>(std::move(answer));
    }

    mutable std::mutex mutex_;
    Script<apphardware::HardwarePreflight> preflights_;
    Script<core::SensorSnapshot> snapshots_;
    std::size_t preflightCalls_ = 0;
    std::size_t snapshotCalls_ = 0;
};

}  // namespace ventrella::fakes
