#pragma once

#include <gtest/gtest.h>

#include <QQmlProperty>
#include <QQuickItem>
#include <QString>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "Support/FileContents.h"
#include "Support/ScopedLocalization.h"
#include "Support/VirtualDesktop.h"
#include "UISupport/QmlTestView.h"
#include "Ventrella/UI/AppModelBridge.h"
#include "Ventrella/UI/MenuContentPresenter.h"
#include "Ventrella/UI/QmlEnvironment.h"
#include "VentrellaModelTests/ModelTestFixture.h"

namespace ventrella::dashboardtests {

// The popover's content over one application model whose dependencies are fakes, on the
// model's manual executor: the bridge reports a change only when the test runs the executor.
// The views load offscreen; any Qt or QML warning fails the test. The language tables are the
// shipped English and German ones, and a small Arabic one.
class DashboardTest : public modeltests::ModelTest {
  protected:
    DashboardTest() {
        const auto shipped =
            std::filesystem::path(VENTRELLA_APP_BUNDLE_DIR) / "Contents" / "Resources";
        bundle.addTable("en", testsupport::readFile(shipped / "en.lproj" / "Localizable.strings"));
        bundle.addTable("de", testsupport::readFile(shipped / "de.lproj" / "Localizable.strings"));
        bundle.addTable("ar", arabicTable);
        viewLocalization.emplace(bundle.path(), core::AppLanguage::english);
    }

    void TearDown() override {
        EXPECT_TRUE(view.warnings().isEmpty()) << view.warnings().join('\n').toStdString();
    }

    // The model, its bridge (provided to the view's engine) and, with `startUp`, a finished
    // start-up: the preflight found `fans` on hardware that can be controlled and the helper
    // answered its status request.
    void makeBridge(bool startUp = true,
                    std::vector<shared::FanInfo> fans = modeltests::fansIn(Mode::automatic)) {
        makeBridge(modeltests::preflightOf(std::move(fans)), startUp);
    }
    // The same with the preflight's answer given: hardware that cannot be controlled, a reason.
    void makeBridge(apphardware::HardwarePreflight preflight, bool startUp = true) {
        reader->answerPreflight(std::move(preflight));
        makeModel();
        bridge = std::make_unique<ui::AppModelBridge>(*model, executor);
        ui::QmlEnvironment::provide(view.engine(), *bridge);
        if (startUp) {
            model->startMonitoring();
            run("start-up");
            replyStatus();
        }
    }

    // The popover's content for one opening, loaded as the shell loads it. The previous
    // opening's presenter goes after its view, as in the shell.
    QQuickItem* open() {
        auto next = std::make_unique<ui::MenuContentPresenter>(*bridge);
        QQuickItem* content =
            view.load(QUrl(QStringLiteral("qrc:/qt/qml/Ventrella/UI/MenuContentView.qml")),
                      {{QStringLiteral("presenter"),
                        QVariant::fromValue(static_cast<QObject*>(next.get()))}});
        presenter = std::move(next);
        return content;
    }

    // The view, then its presenter, the bridge and the model go, so that the next case of a
    // test can make its own.
    void closeModel() {
        view.load(QByteArray("import QtQuick\nItem {}"));
        presenter.reset();
        bridge.reset();
        model.reset();
    }

    // Runs the model's executor (the bridge's reports included), then lets the views catch up
    // and the window fit them.
    void step(const std::string& what = "a step") {
        run(what);
        settle();
    }
    void settle() {
        uitest::QtTestApplication::processPending();
        if (view.root() != nullptr) {
            view.fitWindow();
        }
    }

    // The item called `name` inside the content, visible or not; alerts included.
    QQuickItem* item(const char* name) {
        if (auto* found = view.find(name)) {
            return found;
        }
        return uitest::itemBelow(view.window().contentItem(), QString::fromLatin1(name));
    }
    bool shown(const char* name) {
        auto* found = item(name);
        return found != nullptr && found->isVisible();
    }
    QString text(const char* name) {
        auto* found = item(name);
        return found != nullptr ? QQmlProperty::read(found, "text").toString() : QString();
    }
    // An alert of the content or of its settings page (which a repeater makes, so it is no
    // QObject child of the content).
    QObject* alert(const char* name) {
        for (QObject* owner :
             {static_cast<QObject*>(view.root()), static_cast<QObject*>(item("settingsPage"))}) {
            if (owner == nullptr) {
                continue;
            }
            if (auto* found = owner->findChild<QObject*>(QString::fromLatin1(name))) {
                return found;
            }
        }
        return nullptr;
    }
    bool alertOpen(const char* name) {
        auto* found = alert(name);
        return found != nullptr && QQmlProperty::read(found, "opened").toBool();
    }
    // One of an alert's buttons: "alertCancel" or "alertConfirm".
    QQuickItem* alertButton(const char* alertName, const char* button) {
        auto* found = alert(alertName);
        if (found == nullptr) {
            return nullptr;
        }
        auto* content =
            qobject_cast<QQuickItem*>(QQmlProperty::read(found, "contentItem").value<QObject*>());
        return uitest::itemBelow(content, QString::fromLatin1(button));
    }
    // Presses an alert's button as the user would.
    void press(const char* alertName, const char* button) {
        auto* target = alertButton(alertName, button);
        ASSERT_NE(target, nullptr) << alertName << " " << button;
        ASSERT_TRUE(target->isVisible()) << alertName << " " << button;
        const QPointF middle =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(&view.window(), Qt::LeftButton, {}, middle.toPoint());
        uitest::QtTestApplication::processPending();
    }

    // A click in the middle of the named item.
    void click(const char* name) {
        auto* target = item(name);
        ASSERT_NE(target, nullptr) << name;
        ASSERT_TRUE(target->isVisible()) << name;
        const QPointF middle =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(&view.window(), Qt::LeftButton, {}, middle.toPoint());
        uitest::QtTestApplication::processPending();
    }

    // Lets the page's sliding in or out end.
    void waitForAnimations() {
        uitest::QtTestApplication::processUntil([] { return false; }, 0.3);
        settle();
    }

    // Waits for the animations to end, then saves the window among the test's artefacts.
    void screenshot(const std::string& file) {
        waitForAnimations();
        EXPECT_TRUE(view.grab(testsupport::testArtifact(file))) << file;
    }

    std::optional<testsupport::ScopedLocalization> viewLocalization;
    std::unique_ptr<ui::AppModelBridge> bridge;
    std::unique_ptr<ui::MenuContentPresenter> presenter;
    // Last: the view goes before what it binds to.
    uitest::QmlTestView view;

  private:
    static constexpr const char* arabicTable = R"("Ventrella" = "فنتريلا";
"Temperature-based fan control" = "التحكم بالمراوح حسب الحرارة";
"Inactive — monitoring only" = "غير نشط — مراقبة فقط";
"Active" = "نشط";
"Settings" = "الإعدادات";
"Quit" = "إنهاء";
"Boost" = "تعزيز";
"Emergency" = "طوارئ";
"Emergency cooling" = "تبريد طارئ";
"Fans: %d" = "المراوح: %d";
"Fan %d" = "مروحة %d";
"Auto" = "تلقائي";
"Automatic" = "تلقائي";
"Manual" = "يدوي";
"%lld RPM" = "%lld د/د";
"%@ average" = "متوسط %@";
"Starting…" = "جارٍ البدء…";
)";
};

}  // namespace ventrella::dashboardtests
