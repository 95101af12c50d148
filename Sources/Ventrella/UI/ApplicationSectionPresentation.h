#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Ventrella/UI/ColorRole.h"

namespace ventrella::ui {

// What the settings page's Application card reads of the model and the update manager at one
// moment.
struct ApplicationSectionState {
    bool helperReady = false;
    bool helperInstalled = false;
    bool operationInProgress = false;
    std::string hardwareSummary;
    std::string versionText;
    bool updateFeedEnabled = false;
    bool canCheckForUpdates = false;

    bool operator==(const ApplicationSectionState&) const = default;
};

// The one button of the helper row, by the helper's two flags.
enum class HelperRowAction { none, remove, update, install };

std::string_view helperRowActionName(HelperRowAction action);

// One entry of the language menu: the language's raw value and its name as the menu shows it.
struct LanguageChoice {
    std::string value;
    std::string name;

    bool operator==(const LanguageChoice&) const = default;
};

// Everything the Application card shows, in the interface language: the language menu, the
// sampling counter and launch at login (which edit the draft), the hardware and version rows
// with the diagnostic report, the update rows, and the helper row with its button.
struct ApplicationSectionPresentation {
    std::string languageTitle;
    // Every interface language in the menu's order, "System Default" first.
    std::vector<LanguageChoice> languages;
    std::string samplingTitle;
    std::string samplingDetail;
    std::string samplingUnit;
    std::string launchAtLoginTitle;

    std::string hardwareTitle;
    std::string hardwareSummary;
    std::string versionTitle;
    std::string versionText;
    std::string reportTitle;
    bool reportAvailable = false;

    std::string updatesTitle;
    std::string checkTitle;
    bool checkAvailable = false;
    std::string automaticChecksTitle;
    bool automaticChecksAvailable = false;

    std::string helperSymbol;
    ColorRole helperColor = ColorRole::orange;
    std::string helperTitle;
    std::string helperStatus;
    // The note why the helper is needed, shown while it is not ready.
    bool showsHelperNote = false;
    std::string helperNote;
    HelperRowAction helperAction = HelperRowAction::none;
    std::string helperActionTitle;
    bool helperActionAvailable = false;

    static ApplicationSectionPresentation of(const ApplicationSectionState& state);
    // The helper's status line: the first of ready, installed, neither.
    static std::string helperStatusText(bool helperReady, bool helperInstalled);

    bool operator==(const ApplicationSectionPresentation&) const = default;
};

}  // namespace ventrella::ui
