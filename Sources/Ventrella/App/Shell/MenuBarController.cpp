#include "Ventrella/App/Shell/MenuBarController.h"

#include <QCoreApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>
#include <vector>

#include "Platform/Foundation/Clock.h"
#include "Ventrella/App/Shell/PopoverEventPolicy.h"
#include "Ventrella/App/Shell/X11GlobalPressMonitor.h"

namespace ventrella::shell {

MenuBarController::MenuBarController(QQmlEngine& engine, PopoverContentProvider& content,
                                     std::function<double()> uptime,
                                     std::unique_ptr<GlobalPressMonitor> globalMonitor,
                                     QObject* parent)
    : QObject(parent),
      uptime_(uptime ? std::move(uptime)
                     : std::function<double()>(platform::foundation::systemUptimeSeconds)),
      popover_(engine, content),
      globalMonitor_(globalMonitor ? std::move(globalMonitor)
                                   : std::make_unique<X11GlobalPressMonitor>()) {
    connect(&statusItem_, &StatusItem::clicked, this, &MenuBarController::statusItemClicked);
    // However the popover closed, the monitors go with it.
    connect(&popover_, &PopoverWindow::closed, this, &MenuBarController::stopEventMonitoring);
}

MenuBarController::~MenuBarController() {
    stopEventMonitoring();
}

void MenuBarController::launch() {
    statusItem_.show();
}

void MenuBarController::refreshStatusItem(const StatusItemState& state) {
    statusItem_.apply(StatusItemPresenter::appearance(state));
}

void MenuBarController::togglePopover() {
    if (popover_.isShown()) {
        closePopover();
        return;
    }
    const QRectF anchor = statusItem_.frame().value_or(QRectF(QCursor::pos(), QSizeF(0, 0)));
    if (popover_.open(anchor)) {
        stopEventMonitoring();
        startEventMonitoring();
    }
}

void MenuBarController::closePopover() {
    popover_.close();
    stopEventMonitoring();
}

bool MenuBarController::isPopoverShown() const {
    return popover_.isShown();
}

void MenuBarController::setModalRunning(bool running) {
    modalRunning_ = running;
}

void MenuBarController::applicationWillTerminate() {
    if (popover_.isShown()) {
        popover_.close();
    }
    stopEventMonitoring();
}

void MenuBarController::statusItemClicked() {
    // The popover stays under a modal dialog of its own.
    if (modalRunning_) {
        return;
    }
    if (!statusItem_.frame() && lastMonitorClose_ &&
        uptime_() - *lastMonitorClose_ < reopenGuardSeconds) {
        return;
    }
    togglePopover();
}

void MenuBarController::startEventMonitoring() {
    QCoreApplication::instance()->installEventFilter(this);
    localMonitorInstalled_ = true;
    globalMonitorRunning_ = globalMonitor_->start([this] { globalPress(); });
    if (!globalMonitorRunning_) {
        activationMonitor_ = connect(&popover_.window(), &QWindow::activeChanged, this,
                                     &MenuBarController::popoverDeactivated);
    }
}

void MenuBarController::stopEventMonitoring() {
    if (localMonitorInstalled_) {
        if (auto* application = QCoreApplication::instance()) {
            application->removeEventFilter(this);
        }
        localMonitorInstalled_ = false;
    }
    if (globalMonitorRunning_) {
        globalMonitor_->stop();
        globalMonitorRunning_ = false;
    }
    if (activationMonitor_) {
        disconnect(activationMonitor_);
        activationMonitor_ = {};
    }
}

bool MenuBarController::eventFilter(QObject* watched, QEvent* event) {
    // Once per event: on the window it is sent to, not again on the items it reaches.
    if (!watched->isWindowType() || !popover_.isShown() || modalRunning_) {
        return false;
    }
    switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                closeByMonitor();
                return true;
            }
            return false;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() != Qt::LeftButton && mouse->button() != Qt::RightButton) {
                return false;
            }
            const auto* window = static_cast<QWindow*>(watched);
            if (shouldCloseFor(mouse->globalPosition(), window == &popover_.window(),
                               statusItem_.isStatusWindow(window))) {
                closeByMonitor();
            }
            return false;
        }
        default:
            return false;
    }
}

void MenuBarController::globalPress() {
    if (!popover_.isShown() || modalRunning_) {
        return;
    }
    // Where the pointer is now, before it moves on.
    judgeOutsideClickLater(QCursor::pos());
}

void MenuBarController::popoverDeactivated() {
    if (popover_.window().isActive() || !popover_.isShown() || modalRunning_) {
        return;
    }
    judgeOutsideClickLater(QCursor::pos());
}

void MenuBarController::judgeOutsideClickLater(QPointF point) {
    QMetaObject::invokeMethod(
        this,
        [this, point] {
            const bool monitoring = globalMonitorRunning_ || activationMonitor_;
            if (!monitoring || !popover_.isShown() || modalRunning_) {
                return;
            }
            if (shouldCloseFor(point, false, false)) {
                closeByMonitor();
            }
        },
        Qt::QueuedConnection);
}

void MenuBarController::closeByMonitor() {
    lastMonitorClose_ = uptime_();
    closePopover();
}

bool MenuBarController::shouldCloseFor(QPointF point, bool eventWindowIsPopover,
                                       bool eventWindowIsStatusItem) const {
    const std::vector<QRectF> frames = popover_.interactiveFrames();
    return PopoverEventPolicy::shouldClose(point, frames, statusItem_.frame(), eventWindowIsPopover,
                                           eventWindowIsStatusItem);
}

}  // namespace ventrella::shell
