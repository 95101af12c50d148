#pragma once

#include <QtQml/qqmlregistration.h>
#include <QColor>
#include <QObject>
#include <QString>
#include <QVariant>
#include <optional>

#include "Ventrella/Core/GuardMode.h"

namespace ventrella::shelldemo {

// What the demo's popover shows: a fixed reading and guard mode, with the texts the real
// dashboard would format for them.
class DemoDashboard : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The demo makes one dashboard per opening.")

    Q_PROPERTY(QVariant temperature READ temperature CONSTANT)
    Q_PROPERTY(QString temperatureText READ temperatureText CONSTANT)
    Q_PROPERTY(QString detailText READ detailText CONSTANT)
    Q_PROPERTY(double boostThreshold READ boostThreshold CONSTANT)
    Q_PROPERTY(double emergencyThreshold READ emergencyThreshold CONSTANT)
    Q_PROPERTY(QString language READ language CONSTANT)
    Q_PROPERTY(QString modeTitle READ modeTitle CONSTANT)
    Q_PROPERTY(QString modeSymbol READ modeSymbol CONSTANT)
    Q_PROPERTY(QColor modeColor READ modeColor CONSTANT)
    Q_PROPERTY(int opening READ opening CONSTANT)

  public:
    struct Settings {
        std::optional<double> temperature;
        double boostThreshold = 80;
        double emergencyThreshold = 90;
        QString language = QStringLiteral("system");
        core::GuardMode mode = core::GuardMode::automatic();
        bool controlEnabled = false;
    };

    DemoDashboard(Settings settings, int opening, QObject* parent = nullptr);

    QVariant temperature() const;
    QString temperatureText() const;
    QString detailText() const;
    double boostThreshold() const { return settings_.boostThreshold; }
    double emergencyThreshold() const { return settings_.emergencyThreshold; }
    QString language() const { return settings_.language; }
    QString modeTitle() const;
    QString modeSymbol() const;
    QColor modeColor() const;
    int opening() const { return opening_; }

    Q_INVOKABLE void quit();

  signals:
    void quitRequested();

  private:
    Settings settings_;
    int opening_;
};

}  // namespace ventrella::shelldemo
