#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

#include "Platform/Dispatch/MainExecutor.h"
#include "Platform/Foundation/InfoDictionary.h"
#include "Ventrella/UI/Updater.h"

namespace ventrella::ui {

// The application's one handle on the software-update framework. It decides whether this build
// has an update feed, starts the updater accordingly and republishes, on the main loop, whether
// a check can start now. Created once by the application, on the main thread, and handed to the
// views that offer the update controls.
class SparkleUpdateManager : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application creates the one update manager.")

    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)
    Q_PROPERTY(bool updateFeedEnabled READ updateFeedEnabled CONSTANT)
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)

  public:
    using UpdaterFactory = std::function<std::unique_ptr<Updater>()>;

    static constexpr const char* feedEnabledKey = "VentrellaUpdateFeedEnabled";

    // `makeUpdater` creates the updater once; `mainLoop` delivers its values and must outlive
    // the manager. The feed flag is `updateFeedEnabled` when given, else the Boolean of
    // "VentrellaUpdateFeedEnabled" in `info` (false when missing or not a Boolean). The updater
    // starts when `startingUpdater` says so, or, when it is absent, exactly when the feed flag is
    // true.
    SparkleUpdateManager(platform::dispatch::MainExecutor& mainLoop,
                         const UpdaterFactory& makeUpdater,
                         const platform::foundation::InfoDictionary& info,
                         std::optional<bool> startingUpdater = std::nullopt,
                         std::optional<bool> updateFeedEnabled = std::nullopt,
                         QObject* parent = nullptr);
    ~SparkleUpdateManager() override;

    // False until the main loop has delivered the updater's first value.
    bool canCheckForUpdates() const { return canCheckForUpdates_; }
    bool updateFeedEnabled() const { return updateFeedEnabled_; }

    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool enabled);

    // Starts a user-initiated check (the settings view decides when it may).
    Q_INVOKABLE void checkForUpdates();

    Updater& updater() { return *updater_; }

  signals:
    // Before every write of the automatic-check preference, changed or not.
    void willChange();
    void canCheckForUpdatesChanged();
    void automaticallyChecksForUpdatesChanged();

  private:
    struct Delivery;

    void deliver(bool canCheck);

    bool canCheckForUpdates_ = false;
    std::unique_ptr<Updater> updater_;
    bool updateFeedEnabled_;
    std::shared_ptr<Delivery> delivery_;
};

}  // namespace ventrella::ui
