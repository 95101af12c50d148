#pragma once

#include <QtQml/qqmlregistration.h>
#include <QColor>
#include <QObject>
#include <QString>

#include "Ventrella/Core/GuardSettings.h"
#include "Ventrella/UI/Palette.h"
#include "Ventrella/UI/SettingsDraft.h"
#include "Ventrella/UI/SettingsFramePresentation.h"
#include "Ventrella/UI/TemperaturePreviewSource.h"

namespace ventrella::ui {

class AppModelBridge;

// One showing of the settings page: the draft the cards edit (a copy of the model's settings
// taken when the page is built), the live preview's source, the frame's texts and enablement,
// and the page's view state (the removal confirmation, the advanced groups). The dashboard's
// presenter makes a new one each time the page opens, so a closed page's edits are gone.
//
// The draft follows the model: when the model's settings differ from those it had before (the
// bridge reports the settings at every poll, changed or not), the draft is replaced by them and
// unsaved edits are dropped; a report of the same settings leaves the edits alone.
class SettingsPagePresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The dashboard makes the settings page's presenter.")

    // Geometry, in points.
    Q_PROPERTY(double backButtonMinimumHitHeight MEMBER backButtonMinimumHitHeight_ CONSTANT)
    Q_PROPERTY(double scrollHeight MEMBER scrollHeight_ CONSTANT)
    Q_PROPERTY(double padding MEMBER padding_ CONSTANT)
    Q_PROPERTY(double cardSpacing MEMBER cardSpacing_ CONSTANT)

    Q_PROPERTY(ventrella::ui::SettingsDraft* draft READ draft CONSTANT)
    Q_PROPERTY(ventrella::ui::TemperaturePreviewSource* previewSource READ previewSource CONSTANT)
    // Where the page opens: "top".
    Q_PROPERTY(QString initialSection READ initialSection CONSTANT)
    // The interface language's raw value, for the cards' texts.
    Q_PROPERTY(QString language READ language NOTIFY presentationChanged)

    Q_PROPERTY(QString title READ title NOTIFY presentationChanged)
    Q_PROPERTY(QString badgeText READ badgeText NOTIFY presentationChanged)
    Q_PROPERTY(QString badgeSymbol READ badgeSymbol NOTIFY presentationChanged)
    Q_PROPERTY(QColor badgeColor READ badgeColor NOTIFY presentationChanged)
    Q_PROPERTY(QString note READ note NOTIFY presentationChanged)
    Q_PROPERTY(bool showsStatusRow READ showsStatusRow NOTIFY presentationChanged)
    Q_PROPERTY(bool showsProgress READ showsProgress NOTIFY presentationChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY presentationChanged)
    Q_PROPERTY(QString defaultsTitle READ defaultsTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString saveTitle READ saveTitle NOTIFY presentationChanged)
    Q_PROPERTY(bool actionsAvailable READ actionsAvailable NOTIFY presentationChanged)
    Q_PROPERTY(QString boostCardTitle READ boostCardTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString applicationCardTitle READ applicationCardTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString removalTitle READ removalTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString removalMessage READ removalMessage NOTIFY presentationChanged)
    Q_PROPERTY(QString removalConfirm READ removalConfirm NOTIFY presentationChanged)
    Q_PROPERTY(QString removalCancel READ removalCancel NOTIFY presentationChanged)

    // View state.
    Q_PROPERTY(bool confirmingHelperRemoval READ confirmingHelperRemoval NOTIFY
                   confirmingHelperRemovalChanged)
    Q_PROPERTY(
        bool boostAdvanced READ boostAdvanced WRITE setBoostAdvanced NOTIFY boostAdvancedChanged)
    Q_PROPERTY(bool emergencyAdvanced READ emergencyAdvanced WRITE setEmergencyAdvanced NOTIFY
                   emergencyAdvancedChanged)

  public:
    // Reads and changes the model through `bridge`, which outlives the presenter.
    explicit SettingsPagePresenter(AppModelBridge& bridge, QObject* parent = nullptr);

    SettingsDraft* draft() { return &draft_; }
    TemperaturePreviewSource* previewSource() { return &previewSource_; }
    QString initialSection() const { return QStringLiteral("top"); }
    QString language() const;
    const SettingsFramePresentation& presentation() const { return presentation_; }

    QString title() const { return text(presentation_.title); }
    QString badgeText() const { return text(presentation_.badgeText); }
    QString badgeSymbol() const { return text(presentation_.badgeSymbol); }
    QColor badgeColor() const { return palette_.color(presentation_.badgeColor); }
    QString note() const { return text(presentation_.note); }
    bool showsStatusRow() const { return presentation_.showsStatusRow; }
    bool showsProgress() const { return presentation_.showsProgress; }
    QString statusMessage() const { return text(presentation_.statusMessage); }
    QString defaultsTitle() const { return text(presentation_.defaultsTitle); }
    QString saveTitle() const { return text(presentation_.saveTitle); }
    bool actionsAvailable() const { return presentation_.actionsAvailable; }
    QString boostCardTitle() const { return text(presentation_.boostCardTitle); }
    QString applicationCardTitle() const { return text(presentation_.applicationCardTitle); }
    QString removalTitle() const { return text(presentation_.removalTitle); }
    QString removalMessage() const { return text(presentation_.removalMessage); }
    QString removalConfirm() const { return text(presentation_.removalConfirm); }
    QString removalCancel() const { return text(presentation_.removalCancel); }

    bool confirmingHelperRemoval() const { return confirmingHelperRemoval_; }
    bool boostAdvanced() const { return boostAdvanced_; }
    void setBoostAdvanced(bool expanded);
    bool emergencyAdvanced() const { return emergencyAdvanced_; }
    void setEmergencyAdvanced(bool expanded);

    // "Defaults": the draft becomes the default settings; nothing is saved.
    Q_INVOKABLE void resetToDefaults();
    // "Save": hands the draft to the model; the page stays, and the draft follows the settings
    // the model then publishes. Nothing happens while an operation runs.
    Q_INVOKABLE void save();
    // The Application card's remove button asks; the dialog's buttons answer. Either answer
    // closes the confirmation.
    Q_INVOKABLE void requestHelperRemoval();
    // "Return to Automatic and Remove": the model removes the helper once Apple Automatic is
    // verified.
    Q_INVOKABLE void confirmHelperRemoval();
    Q_INVOKABLE void cancelHelperRemoval();

  signals:
    void presentationChanged();
    void confirmingHelperRemovalChanged();
    void boostAdvancedChanged();
    void emergencyAdvancedChanged();

  private:
    static QString text(const std::string& value) { return QString::fromStdString(value); }
    void refresh();
    void followSettings();

    AppModelBridge& bridge_;
    Palette palette_;
    // The model's settings the draft last followed.
    core::GuardSettings followed_;
    SettingsDraft draft_;
    TemperaturePreviewSource previewSource_;
    SettingsFrameState state_;
    SettingsFramePresentation presentation_;
    bool confirmingHelperRemoval_ = false;
    bool boostAdvanced_ = false;
    bool emergencyAdvanced_ = false;

    double backButtonMinimumHitHeight_ = 44;
    double scrollHeight_ = 500;
    double padding_ = 14;
    double cardSpacing_ = 12;
};

}  // namespace ventrella::ui
