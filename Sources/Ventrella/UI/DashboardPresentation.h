#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Ventrella/Core/GuardMode.h"
#include "Ventrella/UI/ColorRole.h"
#include "Ventrella/UI/DashboardState.h"

namespace ventrella::ui {

// One fan's row: "Fan 1", "2400 RPM" (or "— RPM"), "Auto" or "Manual".
struct FanRowPresentation {
    std::int64_t id = 0;
    std::string title;
    std::string speed;
    std::string mode;

    bool operator==(const FanRowPresentation&) const = default;
};

// Everything the dashboard shows for one state of the model: its texts in the interface
// language (numbers under its locale), the colours by role, which rows are present and what may
// be used. Symbols are named as the symbol images are.
struct DashboardPresentation {
    // Thermal overview.
    std::string title;
    std::string modeTitle;
    std::string modeSymbol;
    ColorRole modeColor = ColorRole::secondary;
    std::string temperature;
    std::string temperatureDetail;

    // Fans.
    std::string fansHeader;
    ColorRole fansHeaderColor = ColorRole::secondary;
    std::string fansMode;
    // Shown in place of the rows while there are no fans; empty otherwise.
    std::string waitingForFans;
    std::vector<FanRowPresentation> fanRows;

    // The fan-control switch.
    std::string controlTitle;
    std::string controlSubtitle;
    bool controlOn = false;
    bool controlAvailable = false;

    // The helper row.
    bool showsHelperRow = false;
    std::string helperSymbol;
    std::string helperTitle;
    std::string helperState;
    std::string helperNote;
    std::string helperAction;
    bool helperActionAvailable = false;

    // The status row.
    bool showsStatusRow = false;
    bool showsProgress = false;
    std::string statusSymbol;
    ColorRole statusColor = ColorRole::secondary;
    std::string statusMessage;
    bool showsTakeOver = false;
    std::string takeOverTitle;

    // Footer.
    std::string settingsTitle;
    std::string quitTitle;

    // The helper approval alert and the takeover confirmation.
    std::string approvalTitle;
    std::string approvalMessage;
    std::string approvalCancel;
    std::string approvalOpenSettings;
    std::string takeoverTitle;
    std::string takeoverMessage;
    std::string takeoverCancel;
    std::string takeoverConfirm;

    static DashboardPresentation of(const DashboardState& state);

    // Green while Apple Automatic runs with control on, secondary with it off; orange in Boost,
    // red in Emergency and on a fault, yellow under another application's manual control.
    static ColorRole modeColorOf(const core::GuardMode& mode, bool controlEnabled);
    // The line under the switch's title: why it cannot be used, or whether control is on.
    static std::string controlSubtitleOf(const DashboardState& state);
    // The switch can be used: the helper is ready, the hardware is known and can be controlled,
    // no other application holds the fans and no operation runs.
    static bool controlAvailableOf(const DashboardState& state);

    bool operator==(const DashboardPresentation&) const = default;
};

}  // namespace ventrella::ui
