#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlProperty>
#include <QQuickItem>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Platform/Foundation/StringsTable.h"
#include "Ventrella/Core/AppLanguage.h"
#include "Ventrella/Core/L10n.h"
#include "Ventrella/Hardware/SMCReadClient.h"
#include "VentrellaLayoutTests/TextLayoutChecker.h"
#include "VentrellaSettingsPageTests/SettingsPageTest.h"

namespace ventrella::layouttests {
namespace {

using modeltests::fansIn;

std::filesystem::path shippedResources() {
    return std::filesystem::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents" / "Resources";
}

// Every language the bundle ships, by its folder's name.
std::vector<std::string> shippedLanguages() {
    std::vector<std::string> languages;
    for (const auto& entry : std::filesystem::directory_iterator(shippedResources())) {
        const auto name = entry.path().filename().string();
        if (entry.is_directory() && entry.path().extension() == ".lproj") {
            languages.push_back(name.substr(0, name.size() - std::string(".lproj").size()));
        }
    }
    std::sort(languages.begin(), languages.end());
    return languages;
}

// The popover in one language: each state of the dashboard, its alerts and the settings page,
// with every visible text checked. A state is set up on a fresh model and view.
class TranslatedLayoutTest : public settingspagetests::SettingsPageTest,
                             public ::testing::WithParamInterface<std::string> {
  protected:
    enum class Shown { content, approvalAlert, takeoverAlert, removalDialog };

    struct ViewState {
        const char* name;
        std::function<void()> setUp;
        Shown shown = Shown::content;
    };

    TranslatedLayoutTest() {
        // The shipped tables, not the fixture's own small ones.
        viewLocalization.reset();
        language = *core::appLanguageFromRawValue(GetParam());
        core::L10n::setLanguage(language);
        if (auto table = platform::foundation::StringsTable::load(
                shippedResources() / (GetParam() + ".lproj") / "Localizable.strings")) {
            for (const auto& [key, value] : table->entries()) {
                keys.emplace(QString::fromStdString(value), key);
            }
        }
    }

    void beginState() {
        renewFakes();
        installer->installed = false;
        initialSettings = modeltests::englishSettings();
        initialSettings->appLanguage = language;
    }

    void endState() {
        view.load(QByteArray("import QtQuick\nItem {}"));
        follower.reset();
        updateManager.reset();
        closeModel();
    }

    // The model, started up with the helper ready and the sensors reading `fans`.
    void startWith(std::vector<shared::FanInfo> fans = fansIn(Mode::automatic)) {
        reader->answerSnapshot(modeltests::snapshotAt(83.6, fans));
        makeBridge(true, std::move(fans));
    }

    // The dashboard for the model built so far, with a reading.
    void showDashboard() {
        peer->setCurrentTemperature(83.6);
        ASSERT_NE(open(), nullptr);
        step("loading");
    }

    // Start-up with a helper that never answers: installed, or not.
    void startWithoutHelper(bool installed) {
        installer->installed = installed;
        reader->answerSnapshot(modeltests::snapshotAt(83.6));
        makeBridge(false);
        model->startMonitoring();
        run("start-up");
        for (int attempt = 1; attempt <= 3; ++attempt) {
            failRequest("Could not connect to Ventrella Helper.");
            if (attempt < 3) {
                advance(0.5);
            }
        }
        ASSERT_FALSE(model->helperReady());
    }

    // The settings page with both advanced groups open, its scroll area as tall as its cards, so
    // that the whole page shows at once.
    void showWholeSettingsPage() {
        // A reading for the live card.
        peer->setLatestSensorSnapshot(modeltests::snapshotAt(83.6));
        openSettings();
        page().setBoostAdvanced(true);
        page().setEmergencyAdvanced(true);
        settle();
        auto* scroll = item("scrollArea");
        ASSERT_NE(scroll, nullptr);
        auto* flickable =
            qobject_cast<QQuickItem*>(QQmlProperty::read(scroll, "contentItem").value<QObject*>());
        ASSERT_NE(flickable, nullptr);
        QQmlProperty tall(scroll, QStringLiteral("Layout.preferredHeight"), qmlContext(scroll));
        ASSERT_TRUE(tall.isValid());
        ASSERT_TRUE(tall.write(QQmlProperty::read(flickable, "contentHeight").toDouble()));
        settle();
        waitForAnimations();
    }

    QQuickItem* alertLayer(const char* name) {
        auto* popup = alert(name);
        if (popup == nullptr || !QQmlProperty::read(popup, "opened").toBool()) {
            return nullptr;
        }
        auto* content =
            qobject_cast<QQuickItem*>(QQmlProperty::read(popup, "contentItem").value<QObject*>());
        return content != nullptr ? content->parentItem() : nullptr;
    }

    // The faults of what `state` shows, one line each, for a translator to act on.
    std::vector<std::string> faultsOf(const ViewState& state) {
        QQuickItem* layer = nullptr;
        switch (state.shown) {
            case Shown::content:
                layer = view.root();
                break;
            case Shown::approvalAlert:
                layer = alertLayer("approvalAlert");
                break;
            case Shown::takeoverAlert:
                layer = alertLayer("takeoverAlert");
                break;
            case Shown::removalDialog:
                layer = alertLayer("removalDialog");
                break;
        }
        if (layer == nullptr || view.root() == nullptr) {
            return {"[" + GetParam() + "] " + state.name + ": nothing to check (not shown)"};
        }
        const TextLayoutChecker checker(
            *view.root(),
            {.modelMessages = {QStringLiteral("statusMessage")},
             .pastLeadingEdge = {QStringLiteral("boostLabel"), QStringLiteral("emergencyLabel")}});
        std::vector<std::string> lines;
        // A state that shows next to nothing was not set up as meant.
        if (const auto count = checker.texts(*layer).size(); count < 4) {
            lines.push_back("[" + GetParam() + "] " + state.name + ": only " +
                            std::to_string(count) + " texts shown");
        }
        for (const auto& fault : checker.check(*layer)) {
            std::ostringstream line;
            line << "[" << GetParam() << "] " << state.name << ": \"" << fault.text.toStdString()
                 << "\"";
            if (const auto key = keys.find(fault.text); key != keys.end()) {
                line << " (key \"" << key->second << "\")";
            }
            line << " [" << fault.path.toStdString() << "] " << fault.problem;
            lines.push_back(line.str());
        }
        return lines;
    }

    core::AppLanguage language = core::AppLanguage::english;
    // The language's table read backwards: which key a shown text translates.
    std::multimap<QString, std::string> keys;
};

TEST_P(TranslatedLayoutTest, EveryTextShowsWholeAndApartInThePopover) {
    const ViewState states[] = {
        {"dashboard, control off",
         [this] {
             startWith();
             showDashboard();
         }},
        {"dashboard, control on",
         [this] {
             startWith();
             switchControlOn();
             showDashboard();
         }},
        {"dashboard, Boost",
         [this] {
             startWith();
             switchControlOn();
             ownLevel(0, 55);
             showDashboard();
         }},
        {"dashboard, Emergency",
         [this] {
             startWith();
             switchControlOn();
             ownLevel(0, 55);
             ownLevel(1, 100);
             showDashboard();
         }},
        {"dashboard, a fault",
         [this] {
             startWith();
             switchControlOn();
             ownLevel(0, 55);
             peer->acceptRelinquished(
                 modeltests::resultOf(State::automatic, fansIn(Mode::manual)),
                 "Another app changed the fan target; Ventrella released control.");
             showDashboard();
         }},
        {"dashboard, takeover offered",
         [this] {
             startWith(fansIn(Mode::manual));
             showDashboard();
         }},
        {"dashboard, helper not installed",
         [this] {
             startWithoutHelper(false);
             showDashboard();
         }},
        {"dashboard, helper not answering",
         [this] {
             startWithoutHelper(true);
             showDashboard();
         }},
        {"dashboard, hardware that cannot be controlled",
         [this] {
             makeBridge(modeltests::preflightOf(fansIn(Mode::automatic), false));
             showDashboard();
         }},
        {"dashboard, no fans and the hardware's reason",
         [this] {
             makeBridge(modeltests::preflightOf(
                 {}, false, core::L10n::string(apphardware::SMCReadClient::noFanReason)));
             showDashboard();
         }},
        {"dashboard, detecting hardware",
         [this] {
             makeBridge(false);
             makeHelperReady();
             showDashboard();
         }},
        {"approval alert",
         [this] {
             startWith();
             model->setHelperApprovalPromptPresented(true);
             run("raising the prompt");
             showDashboard();
         },
         Shown::approvalAlert},
        {"takeover confirmation",
         [this] {
             startWith(fansIn(Mode::manual));
             showDashboard();
             click("takeOver");
         },
         Shown::takeoverAlert},
        {"settings page, helper ready",
         [this] {
             installer->installed = true;
             startWith();
             showWholeSettingsPage();
         }},
        {"settings page, helper not installed",
         [this] {
             startWithoutHelper(false);
             showWholeSettingsPage();
         }},
        {"settings page, helper not answering",
         [this] {
             startWithoutHelper(true);
             showWholeSettingsPage();
         }},
        {"removal confirmation",
         [this] {
             installer->installed = true;
             startWith();
             openSettings();
             page().requestHelperRemoval();
             settle();
         },
         Shown::removalDialog},
    };
    std::vector<std::string> faults;
    for (const auto& state : states) {
        SCOPED_TRACE(state.name);
        beginState();
        state.setUp();
        if (HasFatalFailure()) {
            return;
        }
        waitForAnimations();
        // The popover's width is fixed: a text must fit it, never widen it.
        ASSERT_NE(view.root(), nullptr);
        EXPECT_EQ(view.root()->width(), 360);
        // "dashboard, helper not installed" → "dashboard-helper-not-installed.png"
        std::string file;
        for (const char* at = state.name; *at != '\0'; ++at) {
            if (std::isalnum(static_cast<unsigned char>(*at)) != 0) {
                file += *at;
            } else if (!file.empty() && file.back() != '-') {
                file += '-';
            }
        }
        screenshot(file + ".png");
        const auto found = faultsOf(state);
        faults.insert(faults.end(), found.begin(), found.end());
        endState();
    }
    std::ostringstream report;
    for (const auto& fault : faults) {
        report << "\n  " << fault;
    }
    EXPECT_TRUE(faults.empty()) << faults.size()
                                << " texts do not show whole in the popover:" << report.str();
}

INSTANTIATE_TEST_SUITE_P(EveryShippedLanguage, TranslatedLayoutTest,
                         ::testing::ValuesIn(shippedLanguages()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace ventrella::layouttests
