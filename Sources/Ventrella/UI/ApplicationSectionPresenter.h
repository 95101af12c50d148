#pragma once

#include <QtQml/qqmlregistration.h>
#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>

#include "Ventrella/UI/AppModelBridge.h"
#include "Ventrella/UI/ApplicationSectionPresentation.h"
#include "Ventrella/UI/Palette.h"
#include "Ventrella/UI/SparkleUpdateManager.h"

namespace ventrella::ui {

// The settings page's Application card over the model (through `bridge`) and the update
// manager: its texts and enablement (ApplicationSectionPresentation, read again whenever either
// reports a change) and its actions, which run at once and never touch the page's draft. Without
// an update manager the card has no update feed. The language, the sampling interval and launch
// at login are the draft's, which the card's view writes itself.
class ApplicationSectionPresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT

    Q_PROPERTY(
        ventrella::ui::AppModelBridge* bridge READ bridge WRITE setBridge NOTIFY sourcesChanged)
    Q_PROPERTY(ventrella::ui::SparkleUpdateManager* updateManager READ updateManager WRITE
                   setUpdateManager NOTIFY sourcesChanged)

    Q_PROPERTY(QString languageTitle READ languageTitle NOTIFY presentationChanged)
    // Each entry: {value, text}.
    Q_PROPERTY(QVariantList languages READ languages NOTIFY presentationChanged)
    Q_PROPERTY(QString samplingTitle READ samplingTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString samplingDetail READ samplingDetail NOTIFY presentationChanged)
    Q_PROPERTY(QString samplingUnit READ samplingUnit NOTIFY presentationChanged)
    Q_PROPERTY(QString launchAtLoginTitle READ launchAtLoginTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString hardwareTitle READ hardwareTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString hardwareSummary READ hardwareSummary NOTIFY presentationChanged)
    Q_PROPERTY(QString versionTitle READ versionTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString versionText READ versionText NOTIFY presentationChanged)
    Q_PROPERTY(QString reportTitle READ reportTitle NOTIFY presentationChanged)
    Q_PROPERTY(bool reportAvailable READ reportAvailable NOTIFY presentationChanged)
    Q_PROPERTY(QString updatesTitle READ updatesTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString checkTitle READ checkTitle NOTIFY presentationChanged)
    Q_PROPERTY(bool checkAvailable READ checkAvailable NOTIFY presentationChanged)
    Q_PROPERTY(QString automaticChecksTitle READ automaticChecksTitle NOTIFY presentationChanged)
    Q_PROPERTY(
        bool automaticChecksAvailable READ automaticChecksAvailable NOTIFY presentationChanged)
    // The updater's own preference, outside the draft: written at once.
    Q_PROPERTY(bool automaticallyChecksForUpdates READ automaticallyChecksForUpdates WRITE
                   setAutomaticallyChecksForUpdates NOTIFY automaticallyChecksForUpdatesChanged)
    Q_PROPERTY(QString helperSymbol READ helperSymbol NOTIFY presentationChanged)
    Q_PROPERTY(QColor helperColor READ helperColor NOTIFY presentationChanged)
    Q_PROPERTY(QString helperTitle READ helperTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString helperStatus READ helperStatus NOTIFY presentationChanged)
    Q_PROPERTY(bool showsHelperNote READ showsHelperNote NOTIFY presentationChanged)
    Q_PROPERTY(QString helperNote READ helperNote NOTIFY presentationChanged)
    // "none", "remove", "update" or "install".
    Q_PROPERTY(QString helperAction READ helperAction NOTIFY presentationChanged)
    Q_PROPERTY(QString helperActionTitle READ helperActionTitle NOTIFY presentationChanged)
    Q_PROPERTY(bool helperActionAvailable READ helperActionAvailable NOTIFY presentationChanged)

  public:
    explicit ApplicationSectionPresenter(QObject* parent = nullptr);

    AppModelBridge* bridge() const { return bridge_; }
    void setBridge(AppModelBridge* bridge);
    SparkleUpdateManager* updateManager() const { return updateManager_; }
    void setUpdateManager(SparkleUpdateManager* manager);

    const ApplicationSectionState& state() const { return state_; }
    const ApplicationSectionPresentation& presentation() const { return presentation_; }

    QString languageTitle() const { return text(presentation_.languageTitle); }
    QVariantList languages() const;
    QString samplingTitle() const { return text(presentation_.samplingTitle); }
    QString samplingDetail() const { return text(presentation_.samplingDetail); }
    QString samplingUnit() const { return text(presentation_.samplingUnit); }
    QString launchAtLoginTitle() const { return text(presentation_.launchAtLoginTitle); }
    QString hardwareTitle() const { return text(presentation_.hardwareTitle); }
    QString hardwareSummary() const { return text(presentation_.hardwareSummary); }
    QString versionTitle() const { return text(presentation_.versionTitle); }
    QString versionText() const { return text(presentation_.versionText); }
    QString reportTitle() const { return text(presentation_.reportTitle); }
    bool reportAvailable() const { return presentation_.reportAvailable; }
    QString updatesTitle() const { return text(presentation_.updatesTitle); }
    QString checkTitle() const { return text(presentation_.checkTitle); }
    bool checkAvailable() const { return presentation_.checkAvailable; }
    QString automaticChecksTitle() const { return text(presentation_.automaticChecksTitle); }
    bool automaticChecksAvailable() const { return presentation_.automaticChecksAvailable; }
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool enabled);
    QString helperSymbol() const { return text(presentation_.helperSymbol); }
    QColor helperColor() const { return palette_.color(presentation_.helperColor); }
    QString helperTitle() const { return text(presentation_.helperTitle); }
    QString helperStatus() const { return text(presentation_.helperStatus); }
    bool showsHelperNote() const { return presentation_.showsHelperNote; }
    QString helperNote() const { return text(presentation_.helperNote); }
    QString helperAction() const;
    QString helperActionTitle() const { return text(presentation_.helperActionTitle); }
    bool helperActionAvailable() const { return presentation_.helperActionAvailable; }

    // "Diagnostic Report…": the model shows the save panel and writes the report, inside the
    // call. Nothing while an operation runs.
    Q_INVOKABLE void exportDiagnosticReport();
    // "Check for Updates…": nothing without an update feed or while no check can start.
    Q_INVOKABLE void checkForUpdates();
    // "Install…" or "Update…": the model installs (and ignores the press while it is busy).
    Q_INVOKABLE void installHelper();

  signals:
    void sourcesChanged();
    void presentationChanged();
    void automaticallyChecksForUpdatesChanged();

  private:
    static QString text(const std::string& value) { return QString::fromStdString(value); }
    void refresh();

    QPointer<AppModelBridge> bridge_;
    QPointer<SparkleUpdateManager> updateManager_;
    QMetaObject::Connection bridgeConnection_;
    QMetaObject::Connection canCheckConnection_;
    QMetaObject::Connection automaticConnection_;
    Palette palette_;
    ApplicationSectionState state_;
    ApplicationSectionPresentation presentation_;
};

}  // namespace ventrella::ui
