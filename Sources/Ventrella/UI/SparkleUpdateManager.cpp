#include "Ventrella/UI/SparkleUpdateManager.h"

#include <stdexcept>

namespace ventrella::ui {

// What a value from the updater's thread finds when it reaches the main loop: the manager, or
// nothing once the manager is gone.
struct SparkleUpdateManager::Delivery {
    SparkleUpdateManager* manager;
};

SparkleUpdateManager::SparkleUpdateManager(platform::dispatch::MainExecutor& mainLoop,
                                           const UpdaterFactory& makeUpdater,
                                           const platform::foundation::InfoDictionary& info,
                                           std::optional<bool> startingUpdater,
                                           std::optional<bool> updateFeedEnabled, QObject* parent)
    : QObject(parent),
      updater_(makeUpdater ? makeUpdater() : nullptr),
      updateFeedEnabled_(updateFeedEnabled.value_or(info.boolean(feedEnabledKey).value_or(false))),
      delivery_(std::make_shared<Delivery>(Delivery{this})) {
    if (!updater_) {
        throw std::invalid_argument("SparkleUpdateManager needs an updater");
    }
    if (startingUpdater.value_or(updateFeedEnabled_)) {
        updater_->startUpdater();
    }
    // The current value first, then every change, each assigned on the main loop.
    std::weak_ptr<Delivery> weak = delivery_;
    auto post = [&mainLoop, weak](bool canCheck) {
        mainLoop.post([weak, canCheck] {
            if (auto delivery = weak.lock()) {
                delivery->manager->deliver(canCheck);
            }
        });
    };
    post(updater_->canCheckForUpdates());
    updater_->observeCanCheckForUpdates(post);
}

SparkleUpdateManager::~SparkleUpdateManager() {
    updater_->observeCanCheckForUpdates(nullptr);
}

void SparkleUpdateManager::deliver(bool canCheck) {
    if (canCheck != canCheckForUpdates_) {
        canCheckForUpdates_ = canCheck;
        emit canCheckForUpdatesChanged();
    }
}

bool SparkleUpdateManager::automaticallyChecksForUpdates() const {
    return updater_->automaticallyChecksForUpdates();
}

void SparkleUpdateManager::setAutomaticallyChecksForUpdates(bool enabled) {
    // Observers hear of the write before it is made; the updater then stores it.
    emit willChange();
    const bool changed = enabled != updater_->automaticallyChecksForUpdates();
    updater_->setAutomaticallyChecksForUpdates(enabled);
    if (changed) {
        emit automaticallyChecksForUpdatesChanged();
    }
}

void SparkleUpdateManager::checkForUpdates() {
    updater_->checkForUpdates();
}

}  // namespace ventrella::ui
