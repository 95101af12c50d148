#include "Ventrella/UI/ApplicationSectionPresenter.h"

#include <QVariantMap>

#include "Ventrella/UI/Theme.h"

namespace ventrella::ui {

ApplicationSectionPresenter::ApplicationSectionPresenter(QObject* parent)
    : QObject(parent),
      palette_(Theme::applicationPalette()),
      presentation_(ApplicationSectionPresentation::of(state_)) {}

void ApplicationSectionPresenter::setBridge(AppModelBridge* bridge) {
    if (bridge == bridge_) {
        return;
    }
    disconnect(bridgeConnection_);
    bridge_ = bridge;
    if (bridge_ != nullptr) {
        bridgeConnection_ =
            connect(bridge_, &AppModelBridge::changed, this, &ApplicationSectionPresenter::refresh);
    }
    emit sourcesChanged();
    refresh();
}

void ApplicationSectionPresenter::setUpdateManager(SparkleUpdateManager* manager) {
    if (manager == updateManager_) {
        return;
    }
    disconnect(canCheckConnection_);
    disconnect(automaticConnection_);
    updateManager_ = manager;
    if (updateManager_ != nullptr) {
        canCheckConnection_ =
            connect(updateManager_, &SparkleUpdateManager::canCheckForUpdatesChanged, this,
                    &ApplicationSectionPresenter::refresh);
        automaticConnection_ =
            connect(updateManager_, &SparkleUpdateManager::automaticallyChecksForUpdatesChanged,
                    this, &ApplicationSectionPresenter::automaticallyChecksForUpdatesChanged);
    }
    emit sourcesChanged();
    emit automaticallyChecksForUpdatesChanged();
    refresh();
}

void ApplicationSectionPresenter::refresh() {
    ApplicationSectionState state;
    if (bridge_ != nullptr) {
        const model::AppModel& model = bridge_->model();
        state.helperReady = model.helperReady();
        state.helperInstalled = model.helperInstalled();
        state.operationInProgress = model.operationInProgress();
        state.hardwareSummary = model.hardwareSummary();
        state.versionText = model.appVersion().displayText();
    }
    if (updateManager_ != nullptr) {
        state.updateFeedEnabled = updateManager_->updateFeedEnabled();
        state.canCheckForUpdates = updateManager_->canCheckForUpdates();
    }
    // The texts follow the interface language, which a save may have changed.
    ApplicationSectionPresentation presentation = ApplicationSectionPresentation::of(state);
    if (state == state_ && presentation == presentation_) {
        return;
    }
    state_ = std::move(state);
    presentation_ = std::move(presentation);
    emit presentationChanged();
}

QVariantList ApplicationSectionPresenter::languages() const {
    QVariantList list;
    for (const LanguageChoice& choice : presentation_.languages) {
        list.append(QVariantMap{{QStringLiteral("value"), text(choice.value)},
                                {QStringLiteral("text"), text(choice.name)}});
    }
    return list;
}

bool ApplicationSectionPresenter::automaticallyChecksForUpdates() const {
    return updateManager_ != nullptr && updateManager_->automaticallyChecksForUpdates();
}

void ApplicationSectionPresenter::setAutomaticallyChecksForUpdates(bool enabled) {
    // The switch is disabled without a feed; a write that gets here anyway changes nothing.
    if (updateManager_ == nullptr || !updateManager_->updateFeedEnabled()) {
        emit automaticallyChecksForUpdatesChanged();
        return;
    }
    updateManager_->setAutomaticallyChecksForUpdates(enabled);
}

QString ApplicationSectionPresenter::helperAction() const {
    const std::string_view name = helperRowActionName(presentation_.helperAction);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

void ApplicationSectionPresenter::exportDiagnosticReport() {
    refresh();
    if (bridge_ != nullptr && presentation_.reportAvailable) {
        bridge_->exportDiagnostics();
    }
}

void ApplicationSectionPresenter::checkForUpdates() {
    if (updateManager_ == nullptr || !updateManager_->updateFeedEnabled()) {
        return;
    }
    if (updateManager_->canCheckForUpdates()) {
        updateManager_->checkForUpdates();
    }
}

void ApplicationSectionPresenter::installHelper() {
    refresh();
    const HelperRowAction action = presentation_.helperAction;
    if (bridge_ != nullptr &&
        (action == HelperRowAction::install || action == HelperRowAction::update)) {
        bridge_->installHelper();
    }
}

}  // namespace ventrella::ui
