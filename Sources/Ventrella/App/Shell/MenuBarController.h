#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointF>
#include <functional>
#include <memory>
#include <optional>

#include "Ventrella/App/Shell/GlobalPressMonitor.h"
#include "Ventrella/App/Shell/PopoverWindow.h"
#include "Ventrella/App/Shell/StatusItem.h"
#include "Ventrella/App/Shell/StatusItemPresenter.h"

class QQmlEngine;

namespace ventrella::shell {

// The menu-bar shell: the status item and the popover it opens, and the two event monitors
// that close the popover on Escape or on a click outside it (PopoverEventPolicy). Everything runs
// on the GUI thread.
//
// - The local monitor is an application event filter that looks at each input event once, on
//   the window it is sent to: Escape closes the popover and is consumed; a left or right press
//   (or double click) is judged by the policy and always delivered.
// - The global monitor sees the presses of the whole display, those in other applications
//   included (GlobalPressMonitor); each is judged at the pointer's position when it arrived, in
//   a later step, as a click outside every window of the application. Where the display offers
//   no such watch, the popover losing activation stands in for it, judged likewise.
// - Both run only while the popover is open, and both stand aside while a modal dialog runs
//   (setModalRunning), so that a click into the dialog never closes the popover under it.
// - A click on the status item toggles the popover. Where the tray tells no frame for the icon,
//   a click within 300 ms of a close by a monitor is the one that caused that close (the icon
//   took activation from the popover) and is ignored.
class MenuBarController : public QObject {
    Q_OBJECT

  public:
    static constexpr double reopenGuardSeconds = 0.3;

    // `uptime` gives seconds of a steady clock (default: the system's uptime); `globalMonitor`
    // watches the display's presses (default: the X11 display's).
    MenuBarController(QQmlEngine& engine, PopoverContentProvider& content,
                      std::function<double()> uptime = nullptr,
                      std::unique_ptr<GlobalPressMonitor> globalMonitor = nullptr,
                      QObject* parent = nullptr);
    ~MenuBarController() override;

    // Launching has finished: shows the status item.
    void launch();

    // Shows the model's state on the status item.
    void refreshStatusItem(const StatusItemState& state);

    // The status item's action: closes an open popover, or opens it with new content.
    void togglePopover();
    void closePopover();
    bool isPopoverShown() const;

    // Set while a modal dialog of the popover runs (the save panel).
    void setModalRunning(bool running);
    bool isModalRunning() const { return modalRunning_; }

    // Before the model's own termination: closes the popover and stops both monitors.
    void applicationWillTerminate();

    bool isMonitoring() const { return localMonitorInstalled_; }

    StatusItem& statusItem() { return statusItem_; }
    PopoverWindow& popover() { return popover_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void statusItemClicked();
    void startEventMonitoring();
    void stopEventMonitoring();
    void globalPress();
    void popoverDeactivated();
    void judgeOutsideClickLater(QPointF point);
    void closeByMonitor();
    bool shouldCloseFor(QPointF point, bool eventWindowIsPopover,
                        bool eventWindowIsStatusItem) const;

    std::function<double()> uptime_;
    StatusItem statusItem_;
    PopoverWindow popover_;
    bool modalRunning_ = false;
    bool localMonitorInstalled_ = false;
    std::unique_ptr<GlobalPressMonitor> globalMonitor_;
    bool globalMonitorRunning_ = false;
    QMetaObject::Connection activationMonitor_;
    std::optional<double> lastMonitorClose_;
};

}  // namespace ventrella::shell
