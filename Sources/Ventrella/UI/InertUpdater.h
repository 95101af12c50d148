#pragma once

#include <functional>
#include <mutex>

#include "Ventrella/UI/Updater.h"

namespace ventrella::ui {

// The updater this build ships: it has no update feed, so it never checks and never offers a
// check; the automatic-check preference is kept for the life of the process only.
class InertUpdater final : public Updater {
  public:
    void startUpdater() override;
    bool canCheckForUpdates() const override;
    void observeCanCheckForUpdates(std::function<void(bool)> observer) override;
    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyChecksForUpdates(bool enabled) override;
    void checkForUpdates() override;

  private:
    mutable std::mutex mutex_;
    bool automaticallyChecks_ = false;
};

}  // namespace ventrella::ui
