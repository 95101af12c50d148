#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <memory>

#include "Platform/Workspace/AccessibilityDisplayOptions.h"
#include "Ventrella/UI/QmlEnvironment.h"

namespace ventrella::ui {

// The system's accessibility display options as the views read them: the QML singleton
// `AccessibilityDisplay`. The program provides one over the workspace it has (QmlEnvironment::
// provide); an engine given none gets one of its own that never asks for less motion.
class AccessibilityDisplay : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    // The user asked for less motion: the views move without animation.
    Q_PROPERTY(bool reduceMotion READ reduceMotion NOTIFY reduceMotionChanged)

  public:
    // Follows `options` (none: full motion), reading them again on this object's thread after
    // each change they announce.
    explicit AccessibilityDisplay(
        std::shared_ptr<platform::workspace::AccessibilityDisplayOptions> options,
        QObject* parent = nullptr);
    ~AccessibilityDisplay() override;

    AccessibilityDisplay(const AccessibilityDisplay&) = delete;
    AccessibilityDisplay& operator=(const AccessibilityDisplay&) = delete;

    static AccessibilityDisplay* create(QQmlEngine* engine, QJSEngine*) {
        if (auto* provided = QmlEnvironment::provided<AccessibilityDisplay>(engine)) {
            return provided;
        }
        return new AccessibilityDisplay(nullptr);  // the engine owns it
    }

    bool reduceMotion() const { return reduceMotion_; }

  signals:
    void reduceMotionChanged();

  private:
    struct Link;

    void refresh();

    std::shared_ptr<platform::workspace::AccessibilityDisplayOptions> options_;
    std::shared_ptr<Link> link_;
    platform::workspace::WorkspaceObserverToken observer_;
    bool reduceMotion_ = false;
};

}  // namespace ventrella::ui
