#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Platform/Foundation/StringsTable.h"

namespace {

using platform::foundation::StringsTable;

// Every text the dashboard, its alerts and the settings page's frame look up; a text missing
// from a table would appear in English.
const std::vector<std::string> dashboardTexts = {
    "Fan %d",
    "%lld RPM",
    "— RPM",
    "Auto",
    "Manual",
    "Automatic",
    "Waiting for fan data",
    "Fans: %d",
    "Temperature-based fan control",
    "Fan control cannot be enabled until the Ventrella Fan Helper connection is verified.",
    "Fan control is unavailable on this hardware",
    "Detecting hardware…",
    "Another fan app has manual control",
    "Active",
    "Inactive — monitoring only",
    "Ventrella Fan Helper",
    "Installed; connection could not be verified",
    "Installation required for fan control",
    "Required for safe fan-speed control. Temperature monitoring works without it.",
    "Update",
    "Install",
    "Take Over",
    "Settings",
    "Quit",
    "Ventrella Fan Helper Approval Required",
    "Approve Ventrella Fan Helper in System Settings > General > Login Items & Extensions, then "
    "return and click Update.",
    "Cancel",
    "Open System Settings",
    "Take over fan control?",
    "The fans will be switched to Apple Automatic once and monitored for 1.5 seconds. If another "
    "app switches them back to manual mode, Ventrella will stop taking control.",
    "Take Control",
    "Inactive",
    "Turning control off does not stop the fan; it returns control to Apple Automatic. "
    "Hysteresis and minimum run times prevent rapid on/off cycling.",
    "Defaults",
    "Save",
    "Boost",
    "Application",
    "Remove Ventrella Helper?",
    "Fan control will be turned off, Apple Automatic will be verified, and the privileged Helper "
    "files will be removed from the system. Administrator approval will be required again to "
    "re-enable fan control.",
    "Return to Automatic and Remove",
};

// The view framework's own keys: the English table holds them; translations may leave them.
const std::vector<std::string> frameworkKeys = {"Ventrella", "%@ · %@", "%lld RPM", "— RPM"};

TEST(DashboardTexts, EveryTextIsInTheEnglishAndGermanTables) {
    const auto resources =
        std::filesystem::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents" / "Resources";
    for (const std::string language : {"en", "de"}) {
        const auto table =
            StringsTable::load(resources / (language + ".lproj") / "Localizable.strings");
        ASSERT_TRUE(table.has_value()) << language;
        for (const auto& text : dashboardTexts) {
            EXPECT_TRUE(table->value(text).has_value()) << language << " lacks: " << text;
        }
        if (language == "en") {
            for (const auto& key : frameworkKeys) {
                EXPECT_TRUE(table->value(key).has_value()) << "en lacks: " << key;
            }
        }
    }
}

}  // namespace
