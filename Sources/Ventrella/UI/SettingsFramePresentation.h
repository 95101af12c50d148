#pragma once

#include <string>

#include "Ventrella/UI/ColorRole.h"

namespace ventrella::ui {

// What the settings page's frame reads of the application model at one moment.
struct SettingsFrameState {
    bool controlEnabled = false;
    bool operationInProgress = false;
    std::string statusMessage;

    bool operator==(const SettingsFrameState&) const = default;
};

// Everything the settings page's frame shows around its cards: the header with its badge, the
// note under the cards, the footer's status row and buttons, and the helper-removal
// confirmation, in the interface language.
struct SettingsFramePresentation {
    std::string title;
    std::string badgeText;
    std::string badgeSymbol;
    ColorRole badgeColor = ColorRole::secondary;
    std::string note;

    bool showsStatusRow = false;
    bool showsProgress = false;
    std::string statusMessage;
    std::string defaultsTitle;
    std::string saveTitle;
    // "Defaults" and "Save" can be used: no operation runs.
    bool actionsAvailable = false;

    std::string boostCardTitle;
    std::string applicationCardTitle;

    std::string removalTitle;
    std::string removalMessage;
    std::string removalConfirm;
    std::string removalCancel;

    static SettingsFramePresentation of(const SettingsFrameState& state);

    bool operator==(const SettingsFramePresentation&) const = default;
};

}  // namespace ventrella::ui
