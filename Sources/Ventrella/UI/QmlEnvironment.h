#pragma once

class QQmlEngine;

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
};

}  // namespace ventrella::ui
