#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>

#include "Ventrella/Core/GuardSettings.h"

namespace ventrella::ui {

// The settings page's copy of the guard settings: every control of the page reads and writes
// this object, and nothing of it reaches the model until the page saves it. Enumerations are
// their raw values ("cpu", "average", "de"); an unknown raw value is not written.
//
// The four temperatures, the Boost percentage and the sampling interval are written only through
// their bindings (`…Binding`), which round and clamp as SettingsBindings says; the other fields
// are written as they are given. `changed` follows every write that changes a value, and only
// those.
class SettingsDraft : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The settings page provides its draft.")

    Q_PROPERTY(QString appLanguage READ appLanguage WRITE setAppLanguage NOTIFY changed)
    Q_PROPERTY(
        QString temperatureSource READ temperatureSource WRITE setTemperatureSource NOTIFY changed)
    Q_PROPERTY(QString temperatureAggregation READ temperatureAggregation WRITE
                   setTemperatureAggregation NOTIFY changed)

    Q_PROPERTY(double boostExitCelsius READ boostExitCelsius NOTIFY changed)
    Q_PROPERTY(double boostEnterCelsius READ boostEnterCelsius NOTIFY changed)
    Q_PROPERTY(double emergencyExitCelsius READ emergencyExitCelsius NOTIFY changed)
    Q_PROPERTY(double emergencyEnterCelsius READ emergencyEnterCelsius NOTIFY changed)
    Q_PROPERTY(
        double boostExitBinding READ boostExitCelsius WRITE setBoostExitBinding NOTIFY changed)
    Q_PROPERTY(
        double boostEnterBinding READ boostEnterCelsius WRITE setBoostEnterBinding NOTIFY changed)
    Q_PROPERTY(double emergencyExitBinding READ emergencyExitCelsius WRITE setEmergencyExitBinding
                   NOTIFY changed)
    Q_PROPERTY(double emergencyEnterBinding READ emergencyEnterCelsius WRITE
                   setEmergencyEnterBinding NOTIFY changed)

    Q_PROPERTY(int boostPercent READ boostPercent NOTIFY changed)
    Q_PROPERTY(double boostPercentBinding READ boostPercentBinding WRITE setBoostPercentBinding
                   NOTIFY changed)
    Q_PROPERTY(
        int boostEnterSamples READ boostEnterSamples WRITE setBoostEnterSamples NOTIFY changed)
    Q_PROPERTY(int boostExitSamples READ boostExitSamples WRITE setBoostExitSamples NOTIFY changed)
    Q_PROPERTY(double boostMinimumHoldSeconds READ boostMinimumHoldSeconds WRITE
                   setBoostMinimumHoldSeconds NOTIFY changed)
    Q_PROPERTY(int emergencyExitSamples READ emergencyExitSamples WRITE setEmergencyExitSamples
                   NOTIFY changed)
    Q_PROPERTY(double emergencyMinimumHoldSeconds READ emergencyMinimumHoldSeconds WRITE
                   setEmergencyMinimumHoldSeconds NOTIFY changed)

    Q_PROPERTY(double pollIntervalSeconds READ pollIntervalSeconds NOTIFY changed)
    Q_PROPERTY(int pollIntervalBinding READ pollIntervalBinding WRITE setPollIntervalBinding NOTIFY
                   changed)
    Q_PROPERTY(bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY changed)

  public:
    explicit SettingsDraft(QObject* parent = nullptr);
    explicit SettingsDraft(const core::GuardSettings& settings, QObject* parent = nullptr);

    const core::GuardSettings& settings() const { return settings_; }
    // The whole draft at once (the model's settings, or the defaults).
    void replace(const core::GuardSettings& settings);

    QString appLanguage() const;
    void setAppLanguage(const QString& language);
    QString temperatureSource() const;
    void setTemperatureSource(const QString& source);
    QString temperatureAggregation() const;
    void setTemperatureAggregation(const QString& aggregation);

    double boostExitCelsius() const { return settings_.boostExitCelsius; }
    double boostEnterCelsius() const { return settings_.boostEnterCelsius; }
    double emergencyExitCelsius() const { return settings_.emergencyExitCelsius; }
    double emergencyEnterCelsius() const { return settings_.emergencyEnterCelsius; }
    void setBoostExitBinding(double celsius);
    void setBoostEnterBinding(double celsius);
    void setEmergencyExitBinding(double celsius);
    void setEmergencyEnterBinding(double celsius);

    int boostPercent() const;
    double boostPercentBinding() const;
    void setBoostPercentBinding(double percent);
    int boostEnterSamples() const;
    void setBoostEnterSamples(int samples);
    int boostExitSamples() const;
    void setBoostExitSamples(int samples);
    double boostMinimumHoldSeconds() const { return settings_.boostMinimumHoldSeconds; }
    void setBoostMinimumHoldSeconds(double seconds);
    int emergencyExitSamples() const;
    void setEmergencyExitSamples(int samples);
    double emergencyMinimumHoldSeconds() const { return settings_.emergencyMinimumHoldSeconds; }
    void setEmergencyMinimumHoldSeconds(double seconds);

    double pollIntervalSeconds() const { return settings_.pollIntervalSeconds; }
    int pollIntervalBinding() const;
    void setPollIntervalBinding(int seconds);
    bool launchAtLogin() const { return settings_.launchAtLogin; }
    void setLaunchAtLogin(bool launch);

  signals:
    void changed();

  private:
    template <class Edit>
    void edit(Edit change);

    core::GuardSettings settings_;
};

}  // namespace ventrella::ui
