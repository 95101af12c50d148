#pragma once

#include <QByteArray>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <filesystem>
#include <memory>

#include "UISupport/QtTestApplication.h"

namespace ventrella::uitest {

// The first item named `objectName` among the items drawn below `item` (depth first, in
// drawing order); null when there is none. Unlike QObject::findChild it follows the visual tree,
// which is where the contents of popups and delegates live.
QQuickItem* itemBelow(QQuickItem* item, const QString& objectName);

// A view loaded into an offscreen window for a test, with Qt's and QML's warnings counted as
// failures: the test fixture's TearDown (or the test) checks `warnings()` is empty.
class QmlTestView {
  public:
    QmlTestView();
    ~QmlTestView();

    QmlTestView(const QmlTestView&) = delete;
    QmlTestView& operator=(const QmlTestView&) = delete;

    // Loads QML text (importing "Ventrella.UI" and the like) with `properties` as its initial
    // properties, shows it at its implicit size (or `width` × its implicit height), and waits
    // until it has been drawn. Null, with the errors among the warnings, when it cannot be
    // built.
    QQuickItem* load(const QByteArray& qml, const QVariantMap& properties = {}, double width = 0);
    QQuickItem* load(const QUrl& source, const QVariantMap& properties = {}, double width = 0);

    QQuickItem* root() const { return root_; }

    // Gives the root its implicit height again and the window the root's size (after the view
    // grew or shrank), and waits until the window has it.
    void fitWindow();

    // The item of that objectName below the root (the root itself included), cast to T.
    template <class T = QQuickItem>
    T* find(const QString& objectName) const {
        if (root_ != nullptr && root_->objectName() == objectName) {
            return qobject_cast<T*>(root_);
        }
        return root_ != nullptr ? root_->findChild<T*>(objectName) : nullptr;
    }

    // Draws the window and saves it as a PNG file; false when it could not.
    bool grab(const std::filesystem::path& file);

    QStringList warnings() const { return capture_.warnings(); }
    QQmlEngine& engine() { return *engine_; }
    QQuickWindow& window() { return *window_; }

  private:
    QQuickItem* show(QObject* object, double width);

    QtMessageCapture capture_;
    std::unique_ptr<QQmlEngine> engine_;
    std::unique_ptr<QQuickWindow> window_;
    std::unique_ptr<QQmlComponent> component_;
    QQuickItem* root_ = nullptr;
};

}  // namespace ventrella::uitest
