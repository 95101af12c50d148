#include "Ventrella/App/Shell/AppDelegate.h"

#include <QMetaObject>
#include <QPointer>
#include <QQmlEngine>
#include <QUrl>
#include <QVariant>

#include "Ventrella/App/Shell/QtSavePanel.h"
#include "Ventrella/App/Shell/ShellLog.h"
#include "Ventrella/UI/MenuContentPresenter.h"
#include "Ventrella/UI/QmlEnvironment.h"

namespace ventrella::shell {

AppDelegate::AppDelegate(QQmlEngine& engine, const ModelDependencies& makeDependencies,
                         const ui::SparkleUpdateManager::UpdaterFactory& makeUpdater,
                         const platform::foundation::InfoDictionary& info,
                         std::function<void()> endEventLoop, std::function<double()> uptime,
                         QObject* parent)
    : QObject(parent), engine_(engine), endEventLoop_(std::move(endEventLoop)) {
    menuBar_ = std::make_unique<MenuBarController>(engine_, *this, std::move(uptime));
    auto savePanel = std::make_shared<QtSavePanel>(
        [menuBar = menuBar_.get()](bool running) { menuBar->setModalRunning(running); });
    // The model ends the application from inside its own task: the termination runs in a later
    // step, once that task has let go.
    QPointer<AppDelegate> self(this);
    auto terminateLater = [self] {
        QMetaObject::invokeMethod(
            self.data(),
            [self] {
                if (self) {
                    self->terminate();
                }
            },
            Qt::QueuedConnection);
    };
    model::AppModelDependencies dependencies = makeDependencies(savePanel, terminateLater);
    // The workspace the model watches also tells the user's display options, where it can.
    accessibilityDisplay_ = std::make_unique<ui::AccessibilityDisplay>(
        std::dynamic_pointer_cast<platform::workspace::AccessibilityDisplayOptions>(
            dependencies.workspaceNotifications));
    ui::QmlEnvironment::provide(engine_, *accessibilityDisplay_);
    model_ = std::make_unique<model::AppModel>(executor_, std::move(dependencies));
    updateManager_ = std::make_unique<ui::SparkleUpdateManager>(executor_, makeUpdater, info);
    bridge_ = std::make_unique<ui::AppModelBridge>(*model_, executor_);
    ui::QmlEnvironment::provide(engine_, *bridge_);
    // The views' own texts follow the language the model switches to.
    languageFollower_ = std::make_unique<ui::ViewLanguageFollower>(engine_, *bridge_);
}

AppDelegate::~AppDelegate() {
    // The popover's content reads the bridge: it goes first.
    menuBar_.reset();
    languageFollower_.reset();
    bridge_.reset();
    updateManager_.reset();
    model_.reset();
    accessibilityDisplay_.reset();
}

void AppDelegate::applicationDidFinishLaunching() {
    if (launched_) {
        return;
    }
    launched_ = true;
    model_->startMonitoring();
    // The icon has its glyph before it shows.
    refreshStatusItem();
    menuBar_->launch();
    connect(bridge_.get(), &ui::AppModelBridge::changed, this, &AppDelegate::modelChanged);
}

void AppDelegate::terminate(std::optional<int> signal) {
    if (terminating_) {
        return;
    }
    terminating_ = true;
    if (signal) {
        shellLog().notice(applog::AppLogMessage()
                          << "app.terminating reason=signal signal=" << applog::pub(*signal));
    } else {
        shellLog().notice(applog::AppLogMessage("app.terminating reason=quit"));
    }
    menuBar_->applicationWillTerminate();
    // Blocks for at most the model's bounded restore and log drain.
    model_->applicationWillTerminate();
    if (endEventLoop_) {
        endEventLoop_();
    }
}

PopoverContent AppDelegate::makeContent() {
    auto presenter = std::make_unique<ui::MenuContentPresenter>(*bridge_);
    PopoverContent content;
    content.source = QUrl(QString::fromLatin1(contentSource));
    content.properties = {
        {QStringLiteral("presenter"), QVariant::fromValue(static_cast<QObject*>(presenter.get()))},
        {QStringLiteral("updateManager"),
         QVariant::fromValue(static_cast<QObject*>(updateManager_.get()))},
    };
    content.owned = std::move(presenter);
    return content;
}

void AppDelegate::modelChanged() {
    refreshStatusItem();
}

void AppDelegate::refreshStatusItem() {
    menuBar_->refreshStatusItem({
        .menuSymbol = model_->menuSymbol(),
        .menuTitle = model_->menuTitle(),
        .guardMode = model_->guardMode(),
    });
}

}  // namespace ventrella::shell
