#include "Ventrella/UI/SettingsFramePresentation.h"

#include "Ventrella/Core/L10n.h"

namespace ventrella::ui {

SettingsFramePresentation SettingsFramePresentation::of(const SettingsFrameState& state) {
    using core::L10n;
    SettingsFramePresentation page;
    page.title = L10n::string("Settings");
    page.badgeText = state.controlEnabled ? L10n::string("Active") : L10n::string("Inactive");
    page.badgeSymbol = state.controlEnabled ? "checkmark.circle.fill" : "pause.circle";
    page.badgeColor = state.controlEnabled ? ColorRole::green : ColorRole::secondary;
    page.note = L10n::string(
        "Turning control off does not stop the fan; it returns control to Apple Automatic. "
        "Hysteresis and minimum run times prevent rapid on/off cycling.");

    page.showsStatusRow = state.operationInProgress || !state.statusMessage.empty();
    page.showsProgress = state.operationInProgress;
    page.statusMessage = state.statusMessage;
    page.defaultsTitle = L10n::string("Defaults");
    page.saveTitle = L10n::string("Save");
    page.actionsAvailable = !state.operationInProgress;

    page.boostCardTitle = L10n::string("Boost");
    page.applicationCardTitle = L10n::string("Application");

    page.removalTitle = L10n::string("Remove Ventrella Helper?");
    page.removalMessage = L10n::string(
        "Fan control will be turned off, Apple Automatic will be verified, and the privileged "
        "Helper files will be removed from the system. Administrator approval will be required "
        "again to re-enable fan control.");
    page.removalConfirm = L10n::string("Return to Automatic and Remove");
    page.removalCancel = L10n::string("Cancel");
    return page;
}

}  // namespace ventrella::ui
