#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>
#include <QVariant>
#include <memory>
#include <set>

#include "Platform/Dispatch/MainExecutor.h"
#include "Ventrella/App/Model/AppModel.h"
#include "Ventrella/App/Model/PublishedField.h"
#include "Ventrella/App/Model/WillChangeNotifier.h"
#include "Ventrella/Core/GuardSettings.h"
#include "Ventrella/UI/QmlEnvironment.h"

namespace ventrella::ui {

// The application model as the views see it: the model's published fields as properties, its
// derived values, and its operations. The program makes one for its one model and provides it
// to its engine (QmlEnvironment::provide) before any view loads; the views reach it as the
// singleton `AppModelBridge`.
//
// The model announces each write before it happens; the bridge notes the field and, in a later
// step of the main executor, emits that field's change signal and then `changed()` once, so that
// whoever reacts reads the value after the write. Every write is announced, whether or not the
// value differs, so a signal may come without a change: the model's periodic writes (the
// settings among them) arrive on every poll.
//
// Enumerations are their raw values ("automatic", "boost", "manual", "cpu"); absent values are
// null.
class AppModelBridge : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

    Q_PROPERTY(bool controlEnabled READ controlEnabled NOTIFY controlEnabledChanged)
    Q_PROPERTY(bool operationInProgress READ operationInProgress NOTIFY operationInProgressChanged)
    Q_PROPERTY(QVariant currentTemperature READ currentTemperature NOTIFY currentTemperatureChanged)
    Q_PROPERTY(QString hottestSensor READ hottestSensor NOTIFY hottestSensorChanged)
    // Each fan: {id, actualRPM, minimumRPM, maximumRPM, targetRPM, mode}.
    Q_PROPERTY(QVariantList fans READ fans NOTIFY fansChanged)
    // {model, chipGeneration, fanCount, canMonitor, canControl, controlMechanism, reason}.
    Q_PROPERTY(
        QVariant hardwareCapabilities READ hardwareCapabilities NOTIFY hardwareCapabilitiesChanged)
    // "automatic", "boost", "emergency", "externalManual" or "fault".
    Q_PROPERTY(QString guardMode READ guardMode NOTIFY guardModeChanged)
    Q_PROPERTY(QString guardModeTitle READ guardModeTitle NOTIFY guardModeChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY statusMessageChanged)
    Q_PROPERTY(bool helperReady READ helperReady NOTIFY helperReadyChanged)
    Q_PROPERTY(bool helperInstalled READ helperInstalled NOTIFY helperInstalledChanged)
    Q_PROPERTY(
        bool helperApprovalPending READ helperApprovalPending NOTIFY helperApprovalPendingChanged)
    Q_PROPERTY(bool helperApprovalPromptPresented READ helperApprovalPromptPresented WRITE
                   setHelperApprovalPromptPresented NOTIFY helperApprovalPromptPresentedChanged)
    // {cpuTemperatures: {key: °C}, gpuTemperatures: {key: °C}}.
    Q_PROPERTY(
        QVariant latestSensorSnapshot READ latestSensorSnapshot NOTIFY latestSensorSnapshotChanged)
    // Every field of the guard settings by its name.
    Q_PROPERTY(QVariantMap settings READ settings NOTIFY settingsChanged)
    Q_PROPERTY(QString appLanguage READ appLanguage NOTIFY settingsChanged)

    // Derived values, read again after every change.
    Q_PROPERTY(QString menuTitle READ menuTitle NOTIFY changed)
    Q_PROPERTY(QString menuSymbol READ menuSymbol NOTIFY changed)
    Q_PROPERTY(bool externalManualDetected READ externalManualDetected NOTIFY changed)
    Q_PROPERTY(bool canTakeOverControl READ canTakeOverControl NOTIFY changed)
    Q_PROPERTY(QString temperatureMetricTitle READ temperatureMetricTitle NOTIFY changed)
    Q_PROPERTY(QString hardwareSummary READ hardwareSummary NOTIFY changed)

  public:
    // Subscribes to the model's changes; `executor` is the model's own main executor. Both
    // outlive the bridge.
    AppModelBridge(model::AppModel& model, platform::dispatch::MainExecutor& executor,
                   QObject* parent = nullptr);
    ~AppModelBridge() override;

    AppModelBridge(const AppModelBridge&) = delete;
    AppModelBridge& operator=(const AppModelBridge&) = delete;

    static AppModelBridge* create(QQmlEngine* engine, QJSEngine*) {
        return QmlEnvironment::provided<AppModelBridge>(engine);
    }

    model::AppModel& model() { return model_; }
    const model::AppModel& model() const { return model_; }

    bool controlEnabled() const { return model_.controlEnabled(); }
    bool operationInProgress() const { return model_.operationInProgress(); }
    QVariant currentTemperature() const;
    QString hottestSensor() const;
    QVariantList fans() const;
    QVariant hardwareCapabilities() const;
    QString guardMode() const;
    QString guardModeTitle() const;
    QString statusMessage() const;
    bool helperReady() const { return model_.helperReady(); }
    bool helperInstalled() const { return model_.helperInstalled(); }
    bool helperApprovalPending() const { return model_.helperApprovalPending(); }
    bool helperApprovalPromptPresented() const { return model_.helperApprovalPromptPresented(); }
    void setHelperApprovalPromptPresented(bool presented);
    QVariant latestSensorSnapshot() const;
    QVariantMap settings() const;
    QString appLanguage() const;

    QString menuTitle() const;
    QString menuSymbol() const;
    bool externalManualDetected() const { return model_.externalManualDetected(); }
    bool canTakeOverControl() const { return model_.canTakeOverControl(); }
    QString temperatureMetricTitle() const;
    QString hardwareSummary() const;

    // The model's operations.
    Q_INVOKABLE void requestControl(bool enabled);
    Q_INVOKABLE void requestTakeover();
    Q_INVOKABLE void installHelper();
    Q_INVOKABLE void openHelperApprovalSettings();
    Q_INVOKABLE void uninstallHelper();
    Q_INVOKABLE void exportDiagnostics();
    Q_INVOKABLE void quit();
    // Hands `settings` to the model, which validates, stores and applies them.
    void saveSettings(const core::GuardSettings& settings);

  signals:
    void controlEnabledChanged();
    void operationInProgressChanged();
    void currentTemperatureChanged();
    void hottestSensorChanged();
    void fansChanged();
    void hardwareCapabilitiesChanged();
    void guardModeChanged();
    void statusMessageChanged();
    void helperReadyChanged();
    void helperInstalledChanged();
    void helperApprovalPendingChanged();
    void helperApprovalPromptPresentedChanged();
    void latestSensorSnapshotChanged();
    void settingsChanged();
    // After the signals of one step's fields.
    void changed();

  private:
    void noteWillChange(model::PublishedField field);
    void flush();
    void emitChanged(model::PublishedField field);

    model::AppModel& model_;
    platform::dispatch::MainExecutor& executor_;
    model::WillChangeSubscription subscription_;
    std::set<model::PublishedField> pending_;
    bool flushScheduled_ = false;
    // Lets a posted flush find out whether the bridge still exists.
    std::shared_ptr<AppModelBridge*> self_;
};

}  // namespace ventrella::ui
