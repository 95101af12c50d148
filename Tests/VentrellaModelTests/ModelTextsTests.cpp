#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "Platform/Foundation/StringsTable.h"

namespace {

using platform::foundation::StringsTable;

// Every text the model shows; a text missing from a table would appear in English.
const std::vector<std::string> modelTexts = {
    "Starting…",
    "Fan",
    "%@ average",
    "Hottest %@",
    "Detecting native SMC…",
    "Fans: %d",
    "unknown",
    "Approve Ventrella Fan Helper in System Settings > General > Login Items & Extensions, then "
    "return and click Update.",
    "The Helper is installed, but its connection could not be verified. Ventrella will retry "
    "automatically.",
    "Install the Helper to enable fan control. Temperature monitoring is still active.",
    "Fan control is off; Apple Automatic is in control.",
    "Fan control is unavailable on this hardware.",
    "Ventrella is active and monitoring the thresholds.",
    "Automatic mode could not be restored: %@",
    "CRITICAL: Automatic mode could not be restored on every fan.",
    "Control could not be taken over because Apple Automatic is not stable.",
    "Apple Automatic verified; activating Ventrella…",
    "Control taken over; Ventrella is active.",
    "Control could not be taken over: %@",
    "Restoring Apple Automatic before updating the Helper…",
    "The Helper was not updated because Automatic mode could not be verified.",
    "Helper installed.",
    "Temperature dropped; Apple Automatic was restored.",
    "%@: %d%% · %@ RPM",
    "Another app changed the fan target; Ventrella released control.",
    "The manual target could not be verified on every fan.",
    "The Helper returned an unknown fan-control state.",
    "The active fan target was lost.",
    "Safe stop: %@",
    "Monitoring is active; Apple Automatic is controlling the fans.",
    "One or more fans are being controlled manually by another app.",
    "There are not enough valid sensors for the selected %@ source.",
    "Sensor read error %d/%d: %@",
    "Sleep or wake detected; Apple Automatic was restored.",
    "Apple Automatic was restored before sleep.",
    "Update the Helper to this version before removing it.",
    "Restoring Apple Automatic before removing the Helper…",
    "The Helper was not removed because Automatic mode could not be verified.",
    "The Helper was not removed because the fans are not in Automatic mode.",
    "Helper removed.",
    "Settings could not be saved: %@",
    "Applying the new settings safely…",
    "The settings were not applied because Automatic mode could not be verified.",
    "Settings saved; Ventrella is active again.",
    "Settings saved.",
    "Diagnostic report could not be saved: %@",
    "Diagnostic report saved.",
    "Quitting…",
};

TEST(ModelTexts, EveryTextTheModelShowsIsInTheEnglishAndGermanTables) {
    const auto resources =
        std::filesystem::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents" / "Resources";
    for (const std::string language : {"en", "de"}) {
        const auto table =
            StringsTable::load(resources / (language + ".lproj") / "Localizable.strings");
        ASSERT_TRUE(table.has_value()) << language;
        for (const auto& text : modelTexts) {
            EXPECT_TRUE(table->value(text).has_value()) << language << " lacks: " << text;
        }
    }
}

}  // namespace
