#pragma once

#include <QQmlProperty>
#include <QQuickItem>
#include <QTest>
#include <algorithm>
#include <memory>
#include <string>

#include "Support/FakeUpdater.h"
#include "Ventrella/UI/SettingsPagePresenter.h"
#include "Ventrella/UI/SparkleUpdateManager.h"
#include "Ventrella/UI/ViewLanguageFollower.h"
#include "VentrellaDashboardTests/DashboardTest.h"

namespace ventrella::settingspagetests {

// The popover's content with its settings page open, over one application model of fakes and
// an update manager over a fake updater, as the program builds them: the engine's views follow
// the model's language. The page is scrolled to a control before the test clicks it.
class SettingsPageTest : public dashboardtests::DashboardTest {
  protected:
    // The model (started up, the helper ready), the update manager with or without a feed, then
    // the settings page, opened from the dashboard's footer.
    void openSettings(bool updateFeed = true) {
        if (!bridge) {
            makeBridge();
        }
        updateManager = std::make_unique<ui::SparkleUpdateManager>(
            executor, [this] { return std::make_unique<fakes::FakeUpdater>(updater); },
            platform::foundation::InfoDictionary{}, std::nullopt, updateFeed);
        follower = std::make_unique<ui::ViewLanguageFollower>(view.engine(), *bridge);
        auto next = std::make_unique<ui::MenuContentPresenter>(*bridge);
        ASSERT_NE(view.load(QUrl(QStringLiteral("qrc:/qt/qml/Ventrella/UI/MenuContentView.qml")),
                            {{QStringLiteral("presenter"),
                              QVariant::fromValue(static_cast<QObject*>(next.get()))},
                             {QStringLiteral("updateManager"),
                              QVariant::fromValue(static_cast<QObject*>(updateManager.get()))}}),
                  nullptr);
        presenter = std::move(next);
        step("loading");
        click("settingsButton");
        waitForAnimations();
        ASSERT_TRUE(presenter->showingSettings());
        ASSERT_TRUE(shown("settingsPage"));
    }

    ui::SettingsPagePresenter& page() { return *presenter->settingsPage(); }
    ui::SettingsDraft& draft() { return *page().draft(); }

    // Scrolls the page's cards so that the named item is in view, then clicks its middle.
    void clickOnPage(const char* name) {
        reveal(name);
        click(name);
    }
    void reveal(const char* name) {
        auto* target = item(name);
        ASSERT_NE(target, nullptr) << name;
        auto* scroll = item("scrollArea");
        ASSERT_NE(scroll, nullptr);
        auto* flickable =
            qobject_cast<QQuickItem*>(QQmlProperty::read(scroll, "contentItem").value<QObject*>());
        ASSERT_NE(flickable, nullptr);
        auto* content = qobject_cast<QQuickItem*>(
            QQmlProperty::read(flickable, "contentItem").value<QObject*>());
        ASSERT_NE(content, nullptr);
        const double top = target->mapToItem(content, QPointF(0, 0)).y();
        const double most = std::max(
            0.0, QQmlProperty::read(flickable, "contentHeight").toDouble() - flickable->height());
        QQmlProperty::write(flickable, "contentY",
                            std::clamp(top - flickable->height() / 3, 0.0, most));
        uitest::QtTestApplication::processPending();
    }
    // The named item on the settings page (the dashboard has items of the same names).
    QQuickItem* onPage(const char* name) {
        auto* settings = item("settingsPage");
        return settings != nullptr ? settings->findChild<QQuickItem*>(QString::fromLatin1(name))
                                   : nullptr;
    }
    bool enabled(const char* name) {
        auto* found = item(name);
        return found != nullptr && found->isEnabled();
    }
    // The switch of a labelled switch.
    QQuickItem* switchOf(const char* name) {
        auto* row = item(name);
        return row != nullptr ? row->findChild<QQuickItem*>(QStringLiteral("switch")) : nullptr;
    }

    std::shared_ptr<fakes::FakeUpdater::State> updater =
        std::make_shared<fakes::FakeUpdater::State>();
    std::unique_ptr<ui::SparkleUpdateManager> updateManager;
    std::unique_ptr<ui::ViewLanguageFollower> follower;
};

}  // namespace ventrella::settingspagetests
