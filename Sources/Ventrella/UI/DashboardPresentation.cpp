#include "Ventrella/UI/DashboardPresentation.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Ventrella/Core/L10n.h"
#include "Ventrella/UI/NumberText.h"
#include "VentrellaShared/FanTargetVerifier.h"

namespace ventrella::ui {

namespace {

using core::GuardMode;
using core::L10n;

std::string temperatureText(const std::optional<double>& celsius) {
    if (!celsius || !std::isfinite(*celsius)) {
        return "—";
    }
    return NumberText::formatted("%.1f°C", *celsius);
}

// Fans are numbered from 1.
std::int64_t fanNumber(std::int64_t id) {
    return id == std::numeric_limits<std::int64_t>::max() ? id : id + 1;
}

FanRowPresentation fanRow(const shared::FanInfo& fan) {
    const auto rpm = shared::FanTargetVerifier::roundedActualRPM(fan);
    return {
        .id = fan.id,
        .title = L10n::format("Fan %d", fanNumber(fan.id)),
        .speed = rpm ? L10n::format("%lld RPM", *rpm) : L10n::string("— RPM"),
        .mode = fan.isAutomatic() ? L10n::string("Auto") : L10n::string("Manual"),
    };
}

ColorRole fansHeaderColorOf(const GuardMode& mode) {
    switch (mode.kind()) {
        case GuardMode::Kind::boost:
            return ColorRole::yellow;
        case GuardMode::Kind::emergency:
            return ColorRole::red;
        default:
            return ColorRole::secondary;
    }
}

std::string statusSymbolOf(const GuardMode& mode) {
    switch (mode.kind()) {
        case GuardMode::Kind::externalManual:
            return "hand.raised.fill";
        case GuardMode::Kind::fault:
            return "exclamationmark.triangle.fill";
        default:
            return "info.circle";
    }
}

}  // namespace

ColorRole DashboardPresentation::modeColorOf(const GuardMode& mode, bool controlEnabled) {
    switch (mode.kind()) {
        case GuardMode::Kind::automatic:
            return controlEnabled ? ColorRole::green : ColorRole::secondary;
        case GuardMode::Kind::boost:
            return ColorRole::orange;
        case GuardMode::Kind::emergency:
        case GuardMode::Kind::fault:
            return ColorRole::red;
        case GuardMode::Kind::externalManual:
            return ColorRole::yellow;
    }
    return ColorRole::secondary;
}

std::string DashboardPresentation::controlSubtitleOf(const DashboardState& state) {
    if (!state.helperReady) {
        return L10n::string(
            "Fan control cannot be enabled until the Ventrella Fan Helper connection is "
            "verified.");
    }
    const auto& capabilities = state.hardwareCapabilities;
    if (capabilities && !capabilities->canControl) {
        return capabilities->reason ? *capabilities->reason
                                    : L10n::string("Fan control is unavailable on this hardware");
    }
    if (!capabilities) {
        return L10n::string("Detecting hardware…");
    }
    if (state.externalManualDetected) {
        return L10n::string("Another fan app has manual control");
    }
    return state.controlEnabled ? L10n::string("Active")
                                : L10n::string("Inactive — monitoring only");
}

bool DashboardPresentation::controlAvailableOf(const DashboardState& state) {
    return !state.operationInProgress && state.helperReady && state.hardwareCapabilities &&
           state.hardwareCapabilities->canControl && !state.externalManualDetected;
}

DashboardPresentation DashboardPresentation::of(const DashboardState& state) {
    DashboardPresentation view;

    view.title = L10n::string("Ventrella");
    view.modeTitle = state.guardMode.title();
    view.modeSymbol = state.controlEnabled ? "checkmark.circle.fill" : "pause.circle";
    view.modeColor = modeColorOf(state.guardMode, state.controlEnabled);
    view.temperature = temperatureText(state.currentTemperature);
    view.temperatureDetail =
        L10n::format("%@ · %@", state.temperatureMetricTitle, state.hottestSensor);

    view.fansHeader = L10n::format("Fans: %d", static_cast<std::int64_t>(state.fans.size()));
    view.fansHeaderColor = fansHeaderColorOf(state.guardMode);
    const bool anyManual =
        std::any_of(state.fans.begin(), state.fans.end(),
                    [](const shared::FanInfo& fan) { return !fan.isAutomatic(); });
    view.fansMode = anyManual ? L10n::string("Manual") : L10n::string("Automatic");
    if (state.fans.empty()) {
        view.waitingForFans = L10n::string("Waiting for fan data");
    }
    for (const auto& fan : state.fans) {
        view.fanRows.push_back(fanRow(fan));
    }

    view.controlTitle = L10n::string("Temperature-based fan control");
    view.controlSubtitle = controlSubtitleOf(state);
    view.controlOn = state.controlEnabled;
    view.controlAvailable = controlAvailableOf(state);

    view.showsHelperRow = !state.helperReady;
    view.helperSymbol = state.helperInstalled ? "arrow.triangle.2.circlepath" : "lock.shield";
    view.helperTitle = L10n::string("Ventrella Fan Helper");
    view.helperState = state.helperInstalled
                           ? L10n::string("Installed; connection could not be verified")
                           : L10n::string("Installation required for fan control");
    view.helperNote = L10n::string(
        "Required for safe fan-speed control. Temperature monitoring works without it.");
    view.helperAction = state.helperInstalled ? L10n::string("Update") : L10n::string("Install");
    view.helperActionAvailable = !state.operationInProgress;

    view.showsStatusRow =
        state.operationInProgress || !state.statusMessage.empty() || state.canTakeOverControl;
    view.showsProgress = state.operationInProgress;
    view.statusSymbol = statusSymbolOf(state.guardMode);
    view.statusColor = view.modeColor;
    view.statusMessage = state.statusMessage;
    view.showsTakeOver = state.canTakeOverControl;
    view.takeOverTitle = L10n::string("Take Over");

    view.settingsTitle = L10n::string("Settings");
    view.quitTitle = L10n::string("Quit");

    view.approvalTitle = L10n::string("Ventrella Fan Helper Approval Required");
    view.approvalMessage =
        L10n::string(
            "Required for safe fan-speed control. Temperature monitoring works without it.") +
        "\n\n" +
        L10n::string(
            "Approve Ventrella Fan Helper in System Settings > General > Login Items & "
            "Extensions, then return and click Update.");
    view.approvalCancel = L10n::string("Cancel");
    view.approvalOpenSettings = L10n::string("Open System Settings");
    view.takeoverTitle = L10n::string("Take over fan control?");
    view.takeoverMessage = L10n::string(
        "The fans will be switched to Apple Automatic once and monitored for 1.5 seconds. If "
        "another app switches them back to manual mode, Ventrella will stop taking control.");
    view.takeoverCancel = L10n::string("Cancel");
    view.takeoverConfirm = L10n::string("Take Control");
    return view;
}

}  // namespace ventrella::ui
