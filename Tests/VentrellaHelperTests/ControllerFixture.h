#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "Support/CallLog.h"
#include "Support/FakeFanHardware.h"
#include "Support/FakeMarkerStore.h"
#include "Support/VirtualClock.h"
#include "VentrellaHelper/SMCController.h"
#include "VentrellaShared/ReplyBlock.h"
#include "VirtualTimers.h"

namespace ventrella::helper::testing {

inline std::vector<shared::FanInfo> automaticFans() {
    return {
        shared::FanInfo{0, 1500, 1200, 6000, 1500, shared::FanControlMode::automatic},
        shared::FanInfo{1, 1200, 1000, 5000, 1200, shared::FanControlMode::automatic},
    };
}

// Replies as they arrive, from any thread.
class ReplyRecorder {
  public:
    shared::ReplyBlock block(std::string name) {
        return shared::ReplyBlock([this, name](std::vector<std::uint8_t> bytes) {
            std::lock_guard lock(mutex_);
            names_.push_back(name);
            texts_.emplace_back(bytes.begin(), bytes.end());
        });
    }
    std::vector<std::string> names() const {
        std::lock_guard lock(mutex_);
        return names_;
    }
    std::vector<std::string> texts() const {
        std::lock_guard lock(mutex_);
        return texts_;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> names_;
    std::vector<std::string> texts_;
};

// A controller over fake fans and marker, a virtual clock for the engine and virtual timers for
// the watchdog. The fakes are touched by the controller's queue only while a test waits on it.
struct ControllerFixture {
    std::shared_ptr<fakes::CallLog> log = std::make_shared<fakes::CallLog>();
    std::shared_ptr<fakes::FakeFanHardware> hardware =
        std::make_shared<fakes::FakeFanHardware>(log, automaticFans());
    std::shared_ptr<fakes::FakeMarkerStore> marker = std::make_shared<fakes::FakeMarkerStore>(log);
    fakes::VirtualClock clock{1000.0, log};
    VirtualTimers timers;

    std::shared_ptr<SMCController> make(bool shouldRecover) {
        SMCControllerDependencies dependencies;
        dependencies.hardware = hardware;
        dependencies.marker = marker;
        dependencies.makeWatchdogTimer = timers.factory();
        dependencies.now = clock.nowFunction();
        dependencies.wait = [this](double seconds) { clock.wait(seconds); };
        return std::make_shared<SMCController>(std::move(dependencies), shouldRecover);
    }

    // Waits until everything queued so far has run.
    static void drain(SMCController& controller) {
        controller.queue().sync([] {});
    }
};

}  // namespace ventrella::helper::testing
