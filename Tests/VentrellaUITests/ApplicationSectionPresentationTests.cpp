#include "Ventrella/UI/ApplicationSectionPresentation.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "Platform/Foundation/StringsTable.h"
#include "Support/ScopedEnvironment.h"
#include "Support/ScopedLocalization.h"

namespace ventrella::ui {
namespace {

class ApplicationSectionPresentationTest : public testing::Test {
  protected:
    testsupport::ScopedEnvironment environment =
        testsupport::ScopedEnvironment::userLocale("en", "en_US.UTF-8");
    testsupport::ScopedLocalization localization{VENTRELLA_APP_BUNDLE_DIR,
                                                 core::AppLanguage::english};
};

TEST_F(ApplicationSectionPresentationTest, TheHelperRowFollowsItsTwoFlagsAndTheOperation) {
    const struct {
        bool ready;
        bool installed;
        bool busy;
        const char* symbol;
        ColorRole color;
        const char* status;
        bool note;
        HelperRowAction action;
        const char* title;
        bool available;
    } cases[] = {
        {true, true, false, "checkmark.shield.fill", ColorRole::green,
         "Installed and matched to this app", false, HelperRowAction::remove, "Remove…", true},
        // Ready but reported as not installed: no button at all.
        {true, false, false, "checkmark.shield.fill", ColorRole::green,
         "Installed and matched to this app", false, HelperRowAction::none, "", false},
        {false, true, false, "lock.shield", ColorRole::orange,
         "Installed; connection could not be verified", true, HelperRowAction::update, "Update…",
         true},
        {false, false, false, "lock.shield", ColorRole::orange,
         "Installation required for fan control", true, HelperRowAction::install, "Install…", true},
        // While an operation runs, none of the three buttons can be pressed.
        {true, true, true, "checkmark.shield.fill", ColorRole::green,
         "Installed and matched to this app", false, HelperRowAction::remove, "Remove…", false},
        {false, true, true, "lock.shield", ColorRole::orange,
         "Installed; connection could not be verified", true, HelperRowAction::update, "Update…",
         false},
        {false, false, true, "lock.shield", ColorRole::orange,
         "Installation required for fan control", true, HelperRowAction::install, "Install…",
         false},
    };
    for (const auto& c : cases) {
        ApplicationSectionState state;
        state.helperReady = c.ready;
        state.helperInstalled = c.installed;
        state.operationInProgress = c.busy;
        const auto card = ApplicationSectionPresentation::of(state);
        const std::string name = std::string(c.ready ? "ready" : "not ready") +
                                 (c.installed ? " installed" : " absent") + (c.busy ? " busy" : "");
        EXPECT_EQ(card.helperSymbol, c.symbol) << name;
        EXPECT_EQ(colorRoleName(card.helperColor), colorRoleName(c.color)) << name;
        EXPECT_EQ(card.helperTitle, "Ventrella Fan Helper") << name;
        EXPECT_EQ(card.helperStatus, c.status) << name;
        EXPECT_EQ(card.showsHelperNote, c.note) << name;
        EXPECT_EQ(helperRowActionName(card.helperAction), helperRowActionName(c.action)) << name;
        EXPECT_EQ(card.helperActionTitle, c.title) << name;
        EXPECT_EQ(card.helperActionAvailable, c.available) << name;
        // The report follows only the operation; the draft's controls never depend on it.
        EXPECT_EQ(card.reportAvailable, !c.busy) << name;
    }
}

TEST_F(ApplicationSectionPresentationTest, UpdateControlsNeedTheFeedAndACheckThatCanStart) {
    const struct {
        bool feed;
        bool canCheck;
        bool checkAvailable;
        bool automaticChecksAvailable;
    } cases[] = {
        {false, false, false, false},
        {true, false, false, true},
        {true, true, true, true},
        // Whether a check can start is the updater's to say; the press still needs the feed.
        {false, true, true, false},
    };
    for (const auto& c : cases) {
        ApplicationSectionState state;
        state.updateFeedEnabled = c.feed;
        state.canCheckForUpdates = c.canCheck;
        const auto card = ApplicationSectionPresentation::of(state);
        EXPECT_EQ(card.checkAvailable, c.checkAvailable) << c.feed << c.canCheck;
        EXPECT_EQ(card.automaticChecksAvailable, c.automaticChecksAvailable)
            << c.feed << c.canCheck;
    }
}

TEST_F(ApplicationSectionPresentationTest,
       SixteenLanguagesEachInItsOwnNameAndOnlySystemDefaultTranslated) {
    ApplicationSectionState state;
    state.hardwareSummary = "Apple M3 · Mac15,6";
    state.versionText = "2.5 (42)";
    const auto english = ApplicationSectionPresentation::of(state);
    core::L10n::setLanguage(core::AppLanguage::german);
    const auto german = ApplicationSectionPresentation::of(state);

    ASSERT_EQ(english.languages.size(), 16u);
    ASSERT_EQ(german.languages.size(), 16u);
    EXPECT_EQ(english.languages.front(), (LanguageChoice{"system", "System Default"}));
    EXPECT_EQ(german.languages.front(), (LanguageChoice{"system", "Systemstandard"}));
    for (std::size_t index = 1; index < 16; ++index) {
        EXPECT_EQ(english.languages[index], german.languages[index]) << index;
    }
    EXPECT_EQ(english.languages[3], (LanguageChoice{"de", "Deutsch"}));
    EXPECT_EQ(english.languages[14].value, "ar");

    EXPECT_EQ(german.samplingUnit, "Sek.");
    EXPECT_EQ(german.launchAtLoginTitle, "Bei der Anmeldung starten");
    EXPECT_EQ(german.helperActionTitle, "Installieren …");
    // The model's and the bundle's texts stand as they are.
    EXPECT_EQ(german.hardwareSummary, "Apple M3 · Mac15,6");
    EXPECT_EQ(german.versionText, "2.5 (42)");
}

TEST_F(ApplicationSectionPresentationTest, EveryFixedTextIsInTheEnglishAndGermanTables) {
    ApplicationSectionState ready;
    ready.helperReady = true;
    ready.helperInstalled = true;
    ApplicationSectionState installed;
    installed.helperInstalled = true;
    const auto resources =
        std::filesystem::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents" / "Resources";
    for (const std::string language : {"en", "de"}) {
        const auto table = platform::foundation::StringsTable::load(
            resources / (language + ".lproj") / "Localizable.strings");
        ASSERT_TRUE(table.has_value()) << language;
        for (const auto& state : {ready, installed, ApplicationSectionState{}}) {
            const auto card = ApplicationSectionPresentation::of(state);
            for (const std::string& text :
                 {card.languageTitle, card.samplingTitle, card.samplingDetail, card.samplingUnit,
                  card.launchAtLoginTitle, card.hardwareTitle, card.versionTitle, card.reportTitle,
                  card.updatesTitle, card.checkTitle, card.automaticChecksTitle, card.helperTitle,
                  card.helperStatus, card.helperNote, card.helperActionTitle,
                  card.languages.front().name}) {
                if (!text.empty()) {
                    EXPECT_TRUE(table->value(text).has_value()) << language << " lacks: " << text;
                }
            }
        }
    }
}

}  // namespace
}  // namespace ventrella::ui
