#pragma once

#include <QObject>
#include <QPointer>
#include <QQuickItem>
#include <QQuickWindow>
#include <QRectF>
#include <memory>
#include <vector>

#include "Ventrella/App/Shell/PopoverContent.h"

class QQmlComponent;
class QQmlEngine;

namespace ventrella::shell {

// The popover: one frameless Qt Quick window that stays on top, for the life of the process.
// Every opening builds a new content tree from the provider; the previous tree is taken out of
// the window and deleted later, never at once (a button of it may still be on the stack). The
// window is as large as its content's implicit size (360 × 460 while that has no width or
// height) and follows the content's height while open; it hangs below the status item, or above
// it when the tray is at the bottom of the screen, inside the screen's available area.
class PopoverWindow : public QObject {
    Q_OBJECT

  public:
    PopoverWindow(QQmlEngine& engine, PopoverContentProvider& provider, QObject* parent = nullptr);
    ~PopoverWindow() override;

    // Builds the new content and shows and activates the window at `anchor` (the status item's
    // frame, or a point's empty rectangle when the tray tells none). False, with the window
    // left closed, when the content cannot be built; the errors are logged.
    bool open(const QRectF& anchor);
    void close();
    bool isShown() const;

    QQuickWindow& window() { return window_; }
    const QQuickWindow& window() const { return window_; }
    QQuickItem* content() const { return content_; }

    // The window's frame and those of its visible child windows (the windows whose transient
    // parent it is), in that order; empty while closed.
    std::vector<QRectF> interactiveFrames() const;

  signals:
    void opened();
    void closed();

  private:
    QQuickItem* build();
    void retire();
    void fitToContent();

    QQmlEngine& engine_;
    PopoverContentProvider& provider_;
    QQuickWindow window_;
    std::unique_ptr<QQmlComponent> component_;
    QPointer<QQuickItem> frame_;
    QPointer<QQuickItem> content_;
    std::unique_ptr<QObject> owned_;
    QRectF anchor_;
};

}  // namespace ventrella::shell
