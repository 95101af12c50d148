#include "VentrellaHelper/SMCController.h"

#include <utility>

#include "Platform/Foundation/Clock.h"
#include "VentrellaHelper/HelperPaths.h"
#include "VentrellaHelper/HelperReplyEncoding.h"

namespace ventrella::helper {

namespace {

// Restores and forgets the outcome: a failure while the marker remains re-arms the watchdog
// inside the engine, which is the retry.
void restoreIgnoringOutcome(const std::weak_ptr<shared::FanControlEngine>& weakEngine) {
    if (auto engine = weakEngine.lock()) {
        try {
            engine->restoreAutomatic();
        } catch (...) {
        }
    }
}

}  // namespace

SMCController::SMCController(SMCControllerDependencies dependencies, bool shouldRecover)
    : queue_(std::make_unique<platform::dispatch::SerialQueue>(
          std::string(HelperPaths::controllerQueueLabel))),
      marker_(std::move(dependencies.marker)),
      watchdog_(std::make_shared<HelperWatchdog>(dependencies.makeWatchdogTimer(*queue_),
                                                 dependencies.watchdogTimeoutSeconds)) {
    auto now = dependencies.now
                   ? std::move(dependencies.now)
                   : std::function<double()>(&platform::foundation::systemUptimeSeconds);
    auto wait = dependencies.wait
                    ? std::move(dependencies.wait)
                    : std::function<void(double)>(&platform::foundation::sleepForSeconds);
    engine_ = std::make_shared<shared::FanControlEngine>(
        std::move(dependencies.hardware), marker_, watchdog_, std::move(now), std::move(wait));
    std::weak_ptr<shared::FanControlEngine> weakEngine = engine_;
    watchdog_->setOnFire([weakEngine] { restoreIgnoringOutcome(weakEngine); });
    if (shouldRecover && marker_->isMarked()) {
        // A previous helper left the fans possibly manual.
        queue_->async([weakEngine] { restoreIgnoringOutcome(weakEngine); });
    }
}

SMCController::~SMCController() {
    // Work queued before now still runs with the engine alive; afterwards nothing may fire.
    queue_->sync([this] { watchdog_->cancel(); });
}

template <class Operation>
void SMCController::enqueue(Operation operation, shared::ReplyBlock reply) {
    queue_->async(
        [engine = engine_, operation = std::move(operation), reply = std::move(reply)]() mutable {
            reply(replyBytes([&] { return operation(*engine); }));
        });
}

void SMCController::status(shared::ReplyBlock reply) {
    enqueue([](shared::FanControlEngine& engine) { return engine.status(); }, std::move(reply));
}

void SMCController::prepareTakeover(shared::ReplyBlock reply) {
    enqueue(
        [](shared::FanControlEngine& engine) {
            return engine.prepareTakeover(shared::FanControlEngine::defaultOperationBudget);
        },
        std::move(reply));
}

void SMCController::applyCooling(std::int64_t percentage, shared::ReplyBlock reply) {
    enqueue(
        [percentage](shared::FanControlEngine& engine) {
            return engine.applyCooling(percentage,
                                       shared::FanControlEngine::defaultOperationBudget);
        },
        std::move(reply));
}

void SMCController::restoreAutomatic(shared::ReplyBlock reply) {
    enqueue([](shared::FanControlEngine& engine) { return engine.restoreAutomatic(); },
            std::move(reply));
}

shared::FanControlResult SMCController::restoreForUninstall() {
    return queue_->sync([this] { return engine_->restoreAutomatic(); });
}

}  // namespace ventrella::helper
