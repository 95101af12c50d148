#include "Ventrella/UI/ApplicationSectionPresentation.h"

#include "Ventrella/Core/AppLanguage.h"
#include "Ventrella/Core/L10n.h"

namespace ventrella::ui {

namespace {

using core::L10n;

HelperRowAction actionFor(const ApplicationSectionState& state) {
    if (state.helperReady) {
        return state.helperInstalled ? HelperRowAction::remove : HelperRowAction::none;
    }
    return state.helperInstalled ? HelperRowAction::update : HelperRowAction::install;
}

std::string actionTitle(HelperRowAction action) {
    switch (action) {
        case HelperRowAction::remove:
            return L10n::string("Remove…");
        case HelperRowAction::update:
            return L10n::string("Update…");
        case HelperRowAction::install:
            return L10n::string("Install…");
        case HelperRowAction::none:
            return {};
    }
    return {};
}

}  // namespace

std::string_view helperRowActionName(HelperRowAction action) {
    switch (action) {
        case HelperRowAction::none:
            return "none";
        case HelperRowAction::remove:
            return "remove";
        case HelperRowAction::update:
            return "update";
        case HelperRowAction::install:
            return "install";
    }
    return "none";
}

std::string ApplicationSectionPresentation::helperStatusText(bool helperReady,
                                                             bool helperInstalled) {
    if (helperReady) {
        return L10n::string("Installed and matched to this app");
    }
    if (helperInstalled) {
        return L10n::string("Installed; connection could not be verified");
    }
    return L10n::string("Installation required for fan control");
}

ApplicationSectionPresentation ApplicationSectionPresentation::of(
    const ApplicationSectionState& state) {
    ApplicationSectionPresentation card;
    card.languageTitle = L10n::string("Language");
    for (const core::AppLanguage language : core::allAppLanguages) {
        // Each language by its own name, never looked up; only "System Default" is translated.
        card.languages.push_back(
            {std::string(core::rawValue(language)), core::displayName(language)});
    }
    card.samplingTitle = L10n::string("Sampling");
    card.samplingDetail = L10n::string("Sensor read interval");
    card.samplingUnit = L10n::string("sec");
    card.launchAtLoginTitle = L10n::string("Launch at login");

    card.hardwareTitle = L10n::string("Hardware");
    card.hardwareSummary = state.hardwareSummary;
    card.versionTitle = L10n::string("Version");
    card.versionText = state.versionText;
    card.reportTitle = L10n::string("Diagnostic Report…");
    card.reportAvailable = !state.operationInProgress;

    card.updatesTitle = L10n::string("Updates");
    card.checkTitle = L10n::string("Check for Updates…");
    card.checkAvailable = state.canCheckForUpdates;
    card.automaticChecksTitle = L10n::string("Automatically check for updates");
    card.automaticChecksAvailable = state.updateFeedEnabled;

    card.helperSymbol = state.helperReady ? "checkmark.shield.fill" : "lock.shield";
    card.helperColor = state.helperReady ? ColorRole::green : ColorRole::orange;
    card.helperTitle = L10n::string("Ventrella Fan Helper");
    card.helperStatus = helperStatusText(state.helperReady, state.helperInstalled);
    card.showsHelperNote = !state.helperReady;
    card.helperNote = L10n::string(
        "Required for safe fan-speed control. Temperature monitoring works without it.");
    card.helperAction = actionFor(state);
    card.helperActionTitle = actionTitle(card.helperAction);
    card.helperActionAvailable =
        card.helperAction == HelperRowAction::remove
            ? !state.operationInProgress && state.helperReady
            : card.helperAction != HelperRowAction::none && !state.operationInProgress;
    return card;
}

}  // namespace ventrella::ui
