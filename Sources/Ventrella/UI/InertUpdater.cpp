#include "Ventrella/UI/InertUpdater.h"

namespace ventrella::ui {

void InertUpdater::startUpdater() {}

bool InertUpdater::canCheckForUpdates() const {
    return false;
}

void InertUpdater::observeCanCheckForUpdates(std::function<void(bool)> /*observer*/) {
    // The value never changes.
}

bool InertUpdater::automaticallyChecksForUpdates() const {
    std::lock_guard lock(mutex_);
    return automaticallyChecks_;
}

void InertUpdater::setAutomaticallyChecksForUpdates(bool enabled) {
    std::lock_guard lock(mutex_);
    automaticallyChecks_ = enabled;
}

void InertUpdater::checkForUpdates() {}

}  // namespace ventrella::ui
