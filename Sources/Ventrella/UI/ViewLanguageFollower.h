#pragma once

#include <QObject>

#include "Ventrella/Core/AppLanguage.h"

class QQmlEngine;

namespace ventrella::ui {

class AppModelBridge;

// Keeps the views of one engine in the model's interface language: when the model publishes
// settings in another language (a save), the engine translates its views' fixed texts again, so
// that an open page shows the new language at once. Both outlive the follower.
class ViewLanguageFollower : public QObject {
    Q_OBJECT

  public:
    ViewLanguageFollower(QQmlEngine& engine, AppModelBridge& bridge, QObject* parent = nullptr);

  private:
    void settingsChanged();

    QQmlEngine& engine_;
    AppModelBridge& bridge_;
    core::AppLanguage language_;
};

}  // namespace ventrella::ui
