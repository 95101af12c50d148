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
