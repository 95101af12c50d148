#include "Ventrella/UI/MenuContentPresenter.h"

#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/Core/AppLanguage.h"
#include "Ventrella/UI/AppModelBridge.h"
#include "Ventrella/UI/Theme.h"

namespace ventrella::ui {

MenuContentPresenter::MenuContentPresenter(AppModelBridge& bridge, QObject* parent)
    : QObject(parent),
      bridge_(bridge),
      palette_(Theme::applicationPalette()),
      state_(DashboardState::of(bridge.model())),
      presentation_(DashboardPresentation::of(state_)) {
    connect(&bridge_, &AppModelBridge::changed, this, &MenuContentPresenter::refresh);
}

void MenuContentPresenter::refresh() {
    DashboardState state = DashboardState::of(bridge_.model());
    DashboardPresentation presentation = DashboardPresentation::of(state);
    const bool promptChanged =
        state.helperApprovalPromptPresented != state_.helperApprovalPromptPresented;
    const bool changed = presentation != presentation_ || state != state_;
    state_ = std::move(state);
    presentation_ = std::move(presentation);
    if (changed) {
        emit presentationChanged();
    }
    if (promptChanged) {
        emit approvalPromptPresentedChanged();
    }
}

QString MenuContentPresenter::language() const {
    return text(std::string(core::rawValue(state_.appLanguage)));
}

QVariant MenuContentPresenter::gaugeTemperature() const {
    return state_.currentTemperature ? QVariant(*state_.currentTemperature) : QVariant();
}

QVariantList MenuContentPresenter::fanRows() const {
    QVariantList rows;
    for (const auto& row : presentation_.fanRows) {
        rows.append(QVariantMap{
            {QStringLiteral("id"), static_cast<qlonglong>(row.id)},
            {QStringLiteral("title"), text(row.title)},
            {QStringLiteral("speed"), text(row.speed)},
            {QStringLiteral("mode"), text(row.mode)},
        });
    }
    return rows;
}

void MenuContentPresenter::toggleControl(bool enabled) {
    bridge_.model().requestControl(enabled);
}

void MenuContentPresenter::installHelper() {
    bridge_.model().installHelper();
}

void MenuContentPresenter::requestTakeoverConfirmation() {
    if (!showingTakeoverConfirmation_) {
        showingTakeoverConfirmation_ = true;
        emit showingTakeoverConfirmationChanged();
    }
}

void MenuContentPresenter::confirmTakeover() {
    bridge_.model().requestTakeover();
    dismissTakeoverConfirmation();
}

void MenuContentPresenter::dismissTakeoverConfirmation() {
    if (showingTakeoverConfirmation_) {
        showingTakeoverConfirmation_ = false;
        emit showingTakeoverConfirmationChanged();
    }
}

void MenuContentPresenter::cancelApproval() {
    approvalDismissed();
}

void MenuContentPresenter::openApprovalSettings() {
    // The model acts only while its flag is up: this runs before the dismissal lowers it.
    bridge_.model().openHelperApprovalSettings();
}

void MenuContentPresenter::approvalDismissed() {
    auto& model = bridge_.model();
    if (model.helperApprovalPromptPresented()) {
        model.setHelperApprovalPromptPresented(false);
    }
}

void MenuContentPresenter::openSettings() {
    if (settingsPage_ == nullptr) {
        settingsPage_ = new SettingsPagePresenter(bridge_, this);
        emit showingSettingsChanged();
    }
}

void MenuContentPresenter::closeSettings() {
    if (settingsPage_ != nullptr) {
        SettingsPagePresenter* page = settingsPage_;
        settingsPage_ = nullptr;
        emit showingSettingsChanged();
        page->deleteLater();
    }
}

void MenuContentPresenter::quit() {
    bridge_.model().quit();
}

}  // namespace ventrella::ui
