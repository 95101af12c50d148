#pragma once

#include <functional>

namespace ventrella::ui {

// The software-update framework's updater, as the update manager uses it: started once when told
// to, it says whether a user-initiated check can start now and keeps the automatic-check
// preference.
class Updater {
  public:
    virtual ~Updater() = default;

    virtual void startUpdater() = 0;

    virtual bool canCheckForUpdates() const = 0;

    // `observer` gets every later value of canCheckForUpdates, on whatever thread changed it;
    // it replaces the previous observer, and an empty function removes it.
    virtual void observeCanCheckForUpdates(std::function<void(bool)> observer) = 0;

    virtual bool automaticallyChecksForUpdates() const = 0;
    virtual void setAutomaticallyChecksForUpdates(bool enabled) = 0;

    // Starts a user-initiated check.
    virtual void checkForUpdates() = 0;
};

}  // namespace ventrella::ui
