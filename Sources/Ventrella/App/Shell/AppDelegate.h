#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Platform/Foundation/InfoDictionary.h"
#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/App/Model/AppModelDependencies.h"
#include "Ventrella/App/Shell/MenuBarController.h"
#include "Ventrella/App/Shell/PopoverContent.h"
#include "Ventrella/App/Shell/QtMainExecutor.h"
#include "Ventrella/Core/AppLanguage.h"
#include "Ventrella/Diagnostics/SavePanel.h"
#include "Ventrella/UI/AccessibilityDisplay.h"
#include "Ventrella/UI/AppModelBridge.h"
#include "Ventrella/UI/SparkleUpdateManager.h"
#include "Ventrella/UI/ViewLanguageFollower.h"

class QQmlEngine;

namespace ventrella::shell {

// The application's delegate: it owns the one model (on the Qt main executor), the one update
// manager, the bridge the views read the model through, the display options the views follow
// (reduce motion, from the workspace the model watches), and the menu bar (the status item and
// the one popover, whose content it makes anew at every opening). It starts monitoring when
// launching has finished, keeps the status item in step with the model, and ends the
// application in order: the popover closes, the monitors stop, the model takes its last step,
// then the event loop ends.
//
// Everything runs on the GUI thread. The engine outlives the delegate.
class AppDelegate : public QObject, public PopoverContentProvider {
    Q_OBJECT

  public:
    // Fills the model's slots; given the save panel the model's report export shows and the
    // function that ends the application (see terminate()).
    using ModelDependencies = std::function<model::AppModelDependencies(
        std::shared_ptr<diagnostics::SavePanel> savePanel, std::function<void()> terminate)>;

    static constexpr const char* contentSource = "qrc:/qt/qml/Ventrella/UI/MenuContentView.qml";

    // Builds the model, the update manager (from `makeUpdater` and the application's `info`)
    // and the menu bar, and provides the bridge to `engine`. `endEventLoop` ends the program's
    // event loop; `uptime` gives seconds of a steady clock (default: the system's uptime).
    AppDelegate(QQmlEngine& engine, const ModelDependencies& makeDependencies,
                const ui::SparkleUpdateManager::UpdaterFactory& makeUpdater,
                const platform::foundation::InfoDictionary& info,
                std::function<void()> endEventLoop, std::function<double()> uptime = nullptr,
                QObject* parent = nullptr);
    ~AppDelegate() override;

    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;

    // Launching has finished: monitoring starts, then the status item shows the model's state
    // and follows its changes.
    void applicationDidFinishLaunching();

    // Ends the application (quitting, or the termination signal `signal`): the popover closes,
    // the monitors stop, the model takes its last step (restoring Apple Automatic, within 4 s,
    // when a manual target of its own may be on the fans), and the event loop ends. Only the
    // first call acts.
    void terminate(std::optional<int> signal = std::nullopt);
    bool isTerminating() const { return terminating_; }

    // A new dashboard, with its own view state, for each opening of the popover.
    PopoverContent makeContent() override;

    model::AppModel& model() { return *model_; }
    ui::AppModelBridge& bridge() { return *bridge_; }
    ui::SparkleUpdateManager& updateManager() { return *updateManager_; }
    MenuBarController& menuBar() { return *menuBar_; }

  private:
    void modelChanged();
    void refreshStatusItem();

    QQmlEngine& engine_;
    std::function<void()> endEventLoop_;
    bool terminating_ = false;
    bool launched_ = false;
    QtMainExecutor executor_;
    std::unique_ptr<MenuBarController> menuBar_;
    std::unique_ptr<ui::AccessibilityDisplay> accessibilityDisplay_;
    std::unique_ptr<model::AppModel> model_;
    std::unique_ptr<ui::SparkleUpdateManager> updateManager_;
    std::unique_ptr<ui::AppModelBridge> bridge_;
    std::unique_ptr<ui::ViewLanguageFollower> languageFollower_;
};

}  // namespace ventrella::shell
