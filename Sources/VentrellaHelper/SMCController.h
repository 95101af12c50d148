#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "Platform/Dispatch/SerialQueue.h"
#include "VentrellaHelper/HelperWatchdog.h"
#include "VentrellaHelper/WatchdogTimer.h"
#include "VentrellaShared/FanControlEngine.h"
#include "VentrellaShared/FanControlHardware.h"
#include "VentrellaShared/FanControlMarkerStore.h"
#include "VentrellaShared/FanControlResult.h"
#include "VentrellaShared/FanControlTiming.h"
#include "VentrellaShared/ReplyBlock.h"

namespace ventrella::helper {

// What the controller runs the engine over. The helper uses the SMC, the marker file, a real
// 30 s timer, the uptime clock and real sleeps; tests replace any of them.
struct SMCControllerDependencies {
    std::shared_ptr<shared::FanControlHardware> hardware;
    std::shared_ptr<shared::FanControlMarkerStore> marker;
    WatchdogTimerFactory makeWatchdogTimer = QueueWatchdogTimer::factory();
    double watchdogTimeoutSeconds = shared::FanControlTiming::watchdogTimeoutSeconds;
    std::function<double()> now;       // empty: the system uptime
    std::function<void(double)> wait;  // empty: sleeping the controller's thread
};

// The helper's one engine and the serial queue every fan operation, watchdog firing and the
// start-up recovery run on, so that requests of all clients never interleave.
class SMCController {
  public:
    SMCController(SMCControllerDependencies dependencies, bool shouldRecover);
    // Lets queued work finish, then stops the watchdog.
    ~SMCController();

    SMCController(const SMCController&) = delete;
    SMCController& operator=(const SMCController&) = delete;

    // Each queues the engine operation and its reply on the queue and returns at once; the reply
    // block receives the encoded reply on the queue.
    void status(shared::ReplyBlock reply);
    void prepareTakeover(shared::ReplyBlock reply);
    void applyCooling(std::int64_t percentage, shared::ReplyBlock reply);
    void restoreAutomatic(shared::ReplyBlock reply);

    // The engine's restore, run on the queue while the caller waits; its error is rethrown.
    shared::FanControlResult restoreForUninstall();

    platform::dispatch::SerialQueue& queue() { return *queue_; }

  private:
    template <class Operation>
    void enqueue(Operation operation, shared::ReplyBlock reply);

    // Declared first so that it goes last: the watchdog's timer lives on it.
    std::unique_ptr<platform::dispatch::SerialQueue> queue_;
    std::shared_ptr<shared::FanControlMarkerStore> marker_;
    std::shared_ptr<HelperWatchdog> watchdog_;
    std::shared_ptr<shared::FanControlEngine> engine_;
};

}  // namespace ventrella::helper
