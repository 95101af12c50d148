#pragma once

#include <QByteArray>
#include <QJSEngine>
#include <QObject>
#include <QQmlEngine>
#include <QVariant>

namespace ventrella::ui {

// What every program and test that shows the views sets up.
class QmlEnvironment {
  public:
    QmlEnvironment() = delete;

    // Before the first view is loaded: the Qt Quick Controls style the views are drawn in,
    // unless QT_QUICK_CONTROLS_STYLE names another.
    static void configureStyle();

    // Each engine: the import path of the module "Ventrella.UI" and the symbol images.
    static void prepare(QQmlEngine& engine);

    // Hands `instance` to `engine` as the one object of the C++ singleton type T, so that a
    // singleton made by the program (a bridge to its model) reaches the views without any
    // global: T is declared with QML_ELEMENT and QML_SINGLETON and has
    //     static T* create(QQmlEngine* engine, QJSEngine*) { return
    //     QmlEnvironment::provided<T>(engine); }
    // Call it before the engine loads a view that uses T; the engine does not own `instance`,
    // which must outlive the engine's views.
    template <class T>
    static void provide(QQmlEngine& engine, T& instance) {
        engine.setProperty(key<T>().constData(),
                           QVariant::fromValue(static_cast<QObject*>(&instance)));
    }

    // The object provided for T on `engine`, or null (the view then fails to load).
    template <class T>
    static T* provided(QQmlEngine* engine) {
        if (engine == nullptr) {
            return nullptr;
        }
        const QVariant stored = engine->property(key<T>().constData());
        auto* instance = qobject_cast<T*>(stored.value<QObject*>());
        if (instance != nullptr) {
            QJSEngine::setObjectOwnership(instance, QJSEngine::CppOwnership);
        }
        return instance;
    }

  private:
    template <class T>
    static QByteArray key() {
        return QByteArray("ventrellaSingleton.") + T::staticMetaObject.className();
    }
};

}  // namespace ventrella::ui
