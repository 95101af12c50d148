#include "Ventrella/UI/AccessibilityDisplay.h"

#include <QMetaObject>
#include <mutex>

namespace ventrella::ui {

// What the workspace's thread reaches of this object: posting to it while it lives.
struct AccessibilityDisplay::Link {
    std::mutex mutex;
    AccessibilityDisplay* display = nullptr;
};

AccessibilityDisplay::AccessibilityDisplay(
    std::shared_ptr<platform::workspace::AccessibilityDisplayOptions> options, QObject* parent)
    : QObject(parent), options_(std::move(options)), link_(std::make_shared<Link>()) {
    if (!options_) {
        return;
    }
    link_->display = this;
    observer_ = options_->addDisplayOptionsObserver([link = link_] {
        std::lock_guard lock(link->mutex);
        if (link->display != nullptr) {
            QMetaObject::invokeMethod(link->display, &AccessibilityDisplay::refresh,
                                      Qt::QueuedConnection);
        }
    });
    reduceMotion_ = options_->shouldReduceMotion();
}

AccessibilityDisplay::~AccessibilityDisplay() {
    {
        std::lock_guard lock(link_->mutex);
        link_->display = nullptr;
    }
    if (options_) {
        options_->removeDisplayOptionsObserver(observer_);
    }
}

void AccessibilityDisplay::refresh() {
    const bool reduce = options_->shouldReduceMotion();
    if (reduce != reduceMotion_) {
        reduceMotion_ = reduce;
        emit reduceMotionChanged();
    }
}

}  // namespace ventrella::ui
