#include "Ventrella/UI/DashboardPresentation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "Support/ScopedEnvironment.h"
#include "Support/ScopedLocalization.h"

namespace ventrella::ui {
namespace {

using core::GuardMode;
using shared::FanControlMode;
using testsupport::ScopedEnvironment;
using testsupport::ScopedLocalization;

shared::FanInfo fan(std::int64_t id, double actual, FanControlMode mode) {
    shared::FanInfo info;
    info.id = id;
    info.actualRPM = actual;
    info.minimumRPM = 1200;
    info.maximumRPM = 5800;
    info.targetRPM = actual;
    info.mode = mode;
    return info;
}

shared::HardwareCapabilities capabilities(bool canControl,
                                          std::optional<std::string> reason = std::nullopt) {
    shared::HardwareCapabilities found;
    found.model = "Mac15,6";
    found.fanCount = 2;
    found.canMonitor = true;
    found.canControl = canControl;
    found.reason = std::move(reason);
    return found;
}

// A machine the switch can be used on: the helper ready, two automatic fans that can be
// controlled.
DashboardState ready() {
    DashboardState state;
    state.helperReady = true;
    state.helperInstalled = true;
    state.hardwareCapabilities = capabilities(true);
    state.fans = {fan(0, 2400, FanControlMode::automatic), fan(1, 2510, FanControlMode::automatic)};
    state.temperatureMetricTitle = "CPU average";
    state.hottestSensor = "Sensors: 4";
    return state;
}

class DashboardPresentationTest : public testing::Test {
  protected:
    ScopedEnvironment environment = ScopedEnvironment::userLocale("en", "en_US.UTF-8");
    ScopedLocalization localization{VENTRELLA_APP_BUNDLE_DIR, core::AppLanguage::english};
};

TEST_F(DashboardPresentationTest, EachModeHasItsColoursSymbolsAndTitle) {
    const struct {
        GuardMode mode;
        bool controlEnabled;
        const char* title;
        const char* modeSymbol;
        ColorRole modeColor;
        ColorRole fansHeaderColor;
        const char* statusSymbol;
    } cases[] = {
        {GuardMode::automatic(), true, "Apple Automatic", "checkmark.circle.fill", ColorRole::green,
         ColorRole::secondary, "info.circle"},
        {GuardMode::automatic(), false, "Apple Automatic", "pause.circle", ColorRole::secondary,
         ColorRole::secondary, "info.circle"},
        // The fans' header is yellow in Boost, while the mode itself is orange.
        {GuardMode::boost(), true, "Boost", "checkmark.circle.fill", ColorRole::orange,
         ColorRole::yellow, "info.circle"},
        {GuardMode::emergency(), true, "Emergency cooling", "checkmark.circle.fill", ColorRole::red,
         ColorRole::red, "info.circle"},
        {GuardMode::externalManual(), false, "External manual control", "pause.circle",
         ColorRole::yellow, ColorRole::secondary, "hand.raised.fill"},
        {GuardMode::fault("The active fan target was lost."), false, "Error", "pause.circle",
         ColorRole::red, ColorRole::secondary, "exclamationmark.triangle.fill"},
    };
    for (const auto& c : cases) {
        DashboardState state = ready();
        state.guardMode = c.mode;
        state.controlEnabled = c.controlEnabled;
        const auto view = DashboardPresentation::of(state);
        const std::string name = c.mode.title() + (c.controlEnabled ? " on" : " off");
        EXPECT_EQ(view.modeTitle, c.title) << name;
        EXPECT_EQ(view.modeSymbol, c.modeSymbol) << name;
        EXPECT_EQ(colorRoleName(view.modeColor), colorRoleName(c.modeColor)) << name;
        EXPECT_EQ(colorRoleName(view.fansHeaderColor), colorRoleName(c.fansHeaderColor)) << name;
        EXPECT_EQ(view.statusSymbol, c.statusSymbol) << name;
        // The status symbol takes the mode's colour.
        EXPECT_EQ(colorRoleName(view.statusColor), colorRoleName(c.modeColor)) << name;
        EXPECT_EQ(view.controlOn, c.controlEnabled) << name;
    }
}

TEST_F(DashboardPresentationTest, TheSwitchSaysWhyItCannotBeUsedByTheFirstRuleThatApplies) {
    const std::string helperLine =
        "Fan control cannot be enabled until the Ventrella Fan Helper connection is verified.";
    const struct {
        const char* name;
        void (*arrange)(DashboardState&);
        std::string subtitle;
        bool available;
    } cases[] = {
        {"ready, off", [](DashboardState&) {}, "Inactive — monitoring only", true},
        {"ready, on", [](DashboardState& s) { s.controlEnabled = true; }, "Active", true},
        {"helper not ready", [](DashboardState& s) { s.helperReady = false; }, helperLine, false},
        // The helper comes first, before anything the hardware says.
        {"helper not ready, hardware unknown",
         [](DashboardState& s) {
             s.helperReady = false;
             s.hardwareCapabilities.reset();
         },
         helperLine, false},
        {"hardware cannot control, with a reason",
         [](DashboardState& s) {
             s.hardwareCapabilities = capabilities(false, "No controllable fan was found.");
         },
         "No controllable fan was found.", false},
        {"hardware cannot control, no reason",
         [](DashboardState& s) { s.hardwareCapabilities = capabilities(false); },
         "Fan control is unavailable on this hardware", false},
        {"hardware not known yet", [](DashboardState& s) { s.hardwareCapabilities.reset(); },
         "Detecting hardware…", false},
        {"another application holds the fans",
         [](DashboardState& s) { s.externalManualDetected = true; },
         "Another fan app has manual control", false},
        // An operation disables the switch but says nothing of its own.
        {"operation running",
         [](DashboardState& s) {
             s.operationInProgress = true;
             s.controlEnabled = true;
         },
         "Active", false},
    };
    for (const auto& c : cases) {
        DashboardState state = ready();
        c.arrange(state);
        const auto view = DashboardPresentation::of(state);
        EXPECT_EQ(view.controlSubtitle, c.subtitle) << c.name;
        EXPECT_EQ(view.controlAvailable, c.available) << c.name;
        EXPECT_EQ(view.controlTitle, "Temperature-based fan control");
    }
}

TEST_F(DashboardPresentationTest, FansAreNumberedFromOneWithRoundedSpeedsAndTheirModes) {
    DashboardState state = ready();
    state.fans = {
        fan(0, 2400.4, FanControlMode::automatic),
        fan(1, 2400.5, FanControlMode::manual),
        fan(2, -1, FanControlMode::unknown),
        fan(3, 100000.5, FanControlMode::automatic),
        fan(4, std::nan(""), FanControlMode::automatic),
        fan(std::numeric_limits<std::int64_t>::max(), 0, FanControlMode::automatic),
    };
    const auto view = DashboardPresentation::of(state);
    const std::vector<FanRowPresentation> expected = {
        {0, "Fan 1", "2400 RPM", "Auto"},
        {1, "Fan 2", "2401 RPM", "Manual"},
        {2, "Fan 3", "— RPM", "Manual"},
        {3, "Fan 4", "— RPM", "Auto"},
        {4, "Fan 5", "— RPM", "Auto"},
        {std::numeric_limits<std::int64_t>::max(), "Fan 9223372036854775807", "0 RPM", "Auto"},
    };
    EXPECT_EQ(view.fanRows, expected);
    EXPECT_EQ(view.fansHeader, "Fans: 6");
    // A fan in manual or unknown mode makes the whole block manual.
    EXPECT_EQ(view.fansMode, "Manual");
    EXPECT_TRUE(view.waitingForFans.empty());

    state.fans = {fan(0, 1800, FanControlMode::unknown)};
    EXPECT_EQ(DashboardPresentation::of(state).fansMode, "Manual");

    state.fans.clear();
    const auto empty = DashboardPresentation::of(state);
    EXPECT_EQ(empty.fansHeader, "Fans: 0");
    EXPECT_EQ(empty.fansMode, "Automatic");
    EXPECT_EQ(empty.waitingForFans, "Waiting for fan data");
    EXPECT_TRUE(empty.fanRows.empty());
}

TEST_F(DashboardPresentationTest,
       TheTemperatureHasOneDecimalOrADashAndTheModelsTextsStandAsTheyAre) {
    const struct {
        std::optional<double> celsius;
        const char* text;
    } cases[] = {
        {std::nullopt, "—"}, {72.44, "72.4°C"},   {72.45, "72.5°C"},
        {-3.0, "-3.0°C"},    {std::nan(""), "—"}, {std::numeric_limits<double>::infinity(), "—"},
    };
    for (const auto& c : cases) {
        DashboardState state = ready();
        state.currentTemperature = c.celsius;
        EXPECT_EQ(DashboardPresentation::of(state).temperature, c.text);
    }
    DashboardState state = ready();
    state.temperatureMetricTitle = "Hottest CPU";
    state.hottestSensor = "Tp01 %@ 100%";
    state.statusMessage = "Safe stop: %d";
    const auto view = DashboardPresentation::of(state);
    EXPECT_EQ(view.temperatureDetail, "Hottest CPU · Tp01 %@ 100%");
    EXPECT_EQ(view.statusMessage, "Safe stop: %d");
    EXPECT_EQ(view.title, "Ventrella");
}

TEST_F(DashboardPresentationTest, NumbersFollowTheInterfaceLanguage) {
    const ScopedLocalization german(VENTRELLA_APP_BUNDLE_DIR, core::AppLanguage::german);
    DashboardState state = ready();
    state.currentTemperature = 81.25;
    state.fans = {fan(0, 2400, FanControlMode::automatic), fan(1, -5, FanControlMode::manual)};
    const auto view = DashboardPresentation::of(state);
    EXPECT_EQ(view.temperature, "81,2°C");
    ASSERT_EQ(view.fanRows.size(), 2u);
    EXPECT_EQ(view.fanRows[0].title, "Lüfter 1");
    EXPECT_EQ(view.fanRows[0].speed, "2400 U/min");
    EXPECT_EQ(view.fanRows[1].speed, "— U/min");
    EXPECT_EQ(view.fansHeader, "Lüfter: 2");
    EXPECT_EQ(view.controlSubtitle, "Inaktiv — nur Überwachung");
}

TEST_F(DashboardPresentationTest, TheHelperAndStatusRowsShowOnlyWhenTheyHaveSomethingToSay) {
    const struct {
        const char* name;
        void (*arrange)(DashboardState&);
        bool helperRow;
        const char* helperSymbol;
        const char* helperState;
        const char* helperAction;
        bool helperActionAvailable;
        bool statusRow;
        bool progress;
        bool takeOver;
    } cases[] = {
        {"all well", [](DashboardState&) {}, false, "arrow.triangle.2.circlepath",
         "Installed; connection could not be verified", "Update", true, false, false, false},
        {"not installed",
         [](DashboardState& s) {
             s.helperReady = false;
             s.helperInstalled = false;
         },
         true, "lock.shield", "Installation required for fan control", "Install", true, false,
         false, false},
        {"installed, not answering, operation running",
         [](DashboardState& s) {
             s.helperReady = false;
             s.operationInProgress = true;
         },
         true, "arrow.triangle.2.circlepath", "Installed; connection could not be verified",
         "Update", false, true, true, false},
        {"a message", [](DashboardState& s) { s.statusMessage = "Helper installed."; }, false,
         "arrow.triangle.2.circlepath", "Installed; connection could not be verified", "Update",
         true, true, false, false},
        // A possible takeover shows the row and its button even without a message.
        {"takeover possible", [](DashboardState& s) { s.canTakeOverControl = true; }, false,
         "arrow.triangle.2.circlepath", "Installed; connection could not be verified", "Update",
         true, true, false, true},
    };
    for (const auto& c : cases) {
        DashboardState state = ready();
        c.arrange(state);
        const auto view = DashboardPresentation::of(state);
        EXPECT_EQ(view.showsHelperRow, c.helperRow) << c.name;
        EXPECT_EQ(view.helperSymbol, c.helperSymbol) << c.name;
        EXPECT_EQ(view.helperState, c.helperState) << c.name;
        EXPECT_EQ(view.helperAction, c.helperAction) << c.name;
        EXPECT_EQ(view.helperActionAvailable, c.helperActionAvailable) << c.name;
        EXPECT_EQ(view.showsStatusRow, c.statusRow) << c.name;
        EXPECT_EQ(view.showsProgress, c.progress) << c.name;
        EXPECT_EQ(view.showsTakeOver, c.takeOver) << c.name;
    }
}

TEST_F(DashboardPresentationTest, TheApprovalMessageJoinsItsTwoSentencesWithAnEmptyLine) {
    const auto view = DashboardPresentation::of(ready());
    EXPECT_EQ(view.approvalTitle, "Ventrella Fan Helper Approval Required");
    EXPECT_EQ(view.approvalMessage,
              "Required for safe fan-speed control. Temperature monitoring works without it.\n\n"
              "Approve Ventrella Fan Helper in System Settings > General > Login Items & "
              "Extensions, then return and click Update.");
    EXPECT_EQ(view.approvalCancel, "Cancel");
    EXPECT_EQ(view.approvalOpenSettings, "Open System Settings");
    EXPECT_EQ(view.takeoverTitle, "Take over fan control?");
    EXPECT_EQ(view.takeoverConfirm, "Take Control");
}

}  // namespace
}  // namespace ventrella::ui
