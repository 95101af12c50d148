#include "Ventrella/UI/SettingsPagePresenter.h"

#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/Core/AppLanguage.h"
#include "Ventrella/UI/AppModelBridge.h"
#include "Ventrella/UI/Theme.h"

namespace ventrella::ui {

namespace {

SettingsFrameState frameState(const model::AppModel& model) {
    return {
        .controlEnabled = model.controlEnabled(),
        .operationInProgress = model.operationInProgress(),
        .statusMessage = model.statusMessage(),
    };
}

}  // namespace

SettingsPagePresenter::SettingsPagePresenter(AppModelBridge& bridge, QObject* parent)
    : QObject(parent),
      bridge_(bridge),
      palette_(Theme::applicationPalette()),
      followed_(bridge.model().settings()),
      draft_(followed_),
      previewSource_([&model = bridge.model()](core::TemperatureSource source,
                                               core::TemperatureAggregation aggregation) {
          return model.temperatureReading(source, aggregation);
      }),
      state_(frameState(bridge.model())),
      presentation_(SettingsFramePresentation::of(state_)) {
    connect(&bridge_, &AppModelBridge::settingsChanged, this,
            &SettingsPagePresenter::followSettings);
    connect(&bridge_, &AppModelBridge::latestSensorSnapshotChanged, &previewSource_,
            &TemperaturePreviewSource::snapshotChanged);
    connect(&bridge_, &AppModelBridge::changed, this, &SettingsPagePresenter::refresh);
}

QString SettingsPagePresenter::language() const {
    return text(std::string(core::rawValue(bridge_.model().settings().appLanguage)));
}

void SettingsPagePresenter::followSettings() {
    const core::GuardSettings& current = bridge_.model().settings();
    if (current == followed_) {
        return;
    }
    followed_ = current;
    draft_.replace(current);
}

void SettingsPagePresenter::refresh() {
    SettingsFrameState state = frameState(bridge_.model());
    // Texts follow the interface language, which a save may change.
    SettingsFramePresentation presentation = SettingsFramePresentation::of(state);
    if (presentation == presentation_ && state == state_) {
        return;
    }
    state_ = std::move(state);
    presentation_ = std::move(presentation);
    emit presentationChanged();
}

void SettingsPagePresenter::setBoostAdvanced(bool expanded) {
    if (boostAdvanced_ != expanded) {
        boostAdvanced_ = expanded;
        emit boostAdvancedChanged();
    }
}

void SettingsPagePresenter::setEmergencyAdvanced(bool expanded) {
    if (emergencyAdvanced_ != expanded) {
        emergencyAdvanced_ = expanded;
        emit emergencyAdvancedChanged();
    }
}

void SettingsPagePresenter::resetToDefaults() {
    if (!bridge_.model().operationInProgress()) {
        draft_.replace(core::GuardSettings{});
    }
}

void SettingsPagePresenter::save() {
    if (!bridge_.model().operationInProgress()) {
        bridge_.saveSettings(draft_.settings());
    }
}

void SettingsPagePresenter::requestHelperRemoval() {
    if (!confirmingHelperRemoval_) {
        confirmingHelperRemoval_ = true;
        emit confirmingHelperRemovalChanged();
    }
}

void SettingsPagePresenter::confirmHelperRemoval() {
    bridge_.uninstallHelper();
    cancelHelperRemoval();
}

void SettingsPagePresenter::cancelHelperRemoval() {
    if (confirmingHelperRemoval_) {
        confirmingHelperRemoval_ = false;
        emit confirmingHelperRemovalChanged();
    }
}

}  // namespace ventrella::ui
