#pragma once

#include <QtQml/qqmlregistration.h>
#include <QColor>
#include <QObject>
#include <QString>
#include <QVariant>

#include "Ventrella/UI/DashboardPresentation.h"
#include "Ventrella/UI/Palette.h"
#include "Ventrella/UI/SettingsPagePresenter.h"

namespace ventrella::ui {

class AppModelBridge;

// The popover's content for one opening: what the dashboard shows (DashboardPresentation of the
// model's state, read again whenever the bridge reports a change) and the opening's own view
// state: the settings page shown or not, where it opens, and the takeover confirmation. The
// shell makes a new one at every opening, so none of that survives a closing.
//
// The actions call the model's operations and nothing else; the model decides. None of them
// runs unless the user acts: the view calls them from its controls' user signals only.
class MenuContentPresenter : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell makes one presenter per opening of the popover.")

    // The popover's geometry, in points.
    Q_PROPERTY(double width MEMBER width_ CONSTANT)
    Q_PROPERTY(double padding MEMBER padding_ CONSTANT)
    Q_PROPERTY(double spacing MEMBER spacing_ CONSTANT)
    Q_PROPERTY(double badgeSize MEMBER badgeSize_ CONSTANT)
    Q_PROPERTY(double fanModeWidth MEMBER fanModeWidth_ CONSTANT)
    Q_PROPERTY(double helperActionMinimumWidth MEMBER helperActionMinimumWidth_ CONSTANT)
    Q_PROPERTY(double quitMinimumWidth MEMBER quitMinimumWidth_ CONSTANT)

    // The interface language's raw value ("system", "ar"), for the language scope and the gauge.
    Q_PROPERTY(QString language READ language NOTIFY presentationChanged)

    // Thermal overview.
    Q_PROPERTY(QString title READ title NOTIFY presentationChanged)
    Q_PROPERTY(QString modeTitle READ modeTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString modeSymbol READ modeSymbol NOTIFY presentationChanged)
    Q_PROPERTY(QColor modeColor READ modeColor NOTIFY presentationChanged)
    Q_PROPERTY(QString temperature READ temperature NOTIFY presentationChanged)
    Q_PROPERTY(QString temperatureDetail READ temperatureDetail NOTIFY presentationChanged)
    // For the gauge: °C or null, and the two start temperatures.
    Q_PROPERTY(QVariant gaugeTemperature READ gaugeTemperature NOTIFY presentationChanged)
    Q_PROPERTY(double boostThreshold READ boostThreshold NOTIFY presentationChanged)
    Q_PROPERTY(double emergencyThreshold READ emergencyThreshold NOTIFY presentationChanged)

    // Fans.
    Q_PROPERTY(QString fansHeader READ fansHeader NOTIFY presentationChanged)
    Q_PROPERTY(QColor fansHeaderColor READ fansHeaderColor NOTIFY presentationChanged)
    Q_PROPERTY(QString fansMode READ fansMode NOTIFY presentationChanged)
    Q_PROPERTY(QString waitingForFans READ waitingForFans NOTIFY presentationChanged)
    // Each row: {id, title, speed, mode}.
    Q_PROPERTY(QVariantList fanRows READ fanRows NOTIFY presentationChanged)

    // The fan-control switch.
    Q_PROPERTY(QString controlTitle READ controlTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString controlSubtitle READ controlSubtitle NOTIFY presentationChanged)
    Q_PROPERTY(bool controlOn READ controlOn NOTIFY presentationChanged)
    Q_PROPERTY(bool controlAvailable READ controlAvailable NOTIFY presentationChanged)

    // The helper row.
    Q_PROPERTY(bool showsHelperRow READ showsHelperRow NOTIFY presentationChanged)
    Q_PROPERTY(QString helperSymbol READ helperSymbol NOTIFY presentationChanged)
    Q_PROPERTY(QString helperTitle READ helperTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString helperState READ helperState NOTIFY presentationChanged)
    Q_PROPERTY(QString helperNote READ helperNote NOTIFY presentationChanged)
    Q_PROPERTY(QString helperAction READ helperAction NOTIFY presentationChanged)
    Q_PROPERTY(bool helperActionAvailable READ helperActionAvailable NOTIFY presentationChanged)

    // The status row.
    Q_PROPERTY(bool showsStatusRow READ showsStatusRow NOTIFY presentationChanged)
    Q_PROPERTY(bool showsProgress READ showsProgress NOTIFY presentationChanged)
    Q_PROPERTY(QString statusSymbol READ statusSymbol NOTIFY presentationChanged)
    Q_PROPERTY(QColor statusColor READ statusColor NOTIFY presentationChanged)
    Q_PROPERTY(QString statusMessage READ statusMessage NOTIFY presentationChanged)
    Q_PROPERTY(bool showsTakeOver READ showsTakeOver NOTIFY presentationChanged)
    Q_PROPERTY(QString takeOverTitle READ takeOverTitle NOTIFY presentationChanged)

    // Footer.
    Q_PROPERTY(QString settingsTitle READ settingsTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString quitTitle READ quitTitle NOTIFY presentationChanged)

    // The alerts' texts.
    Q_PROPERTY(QString approvalTitle READ approvalTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString approvalMessage READ approvalMessage NOTIFY presentationChanged)
    Q_PROPERTY(QString approvalCancel READ approvalCancel NOTIFY presentationChanged)
    Q_PROPERTY(QString approvalOpenSettings READ approvalOpenSettings NOTIFY presentationChanged)
    Q_PROPERTY(QString takeoverTitle READ takeoverTitle NOTIFY presentationChanged)
    Q_PROPERTY(QString takeoverMessage READ takeoverMessage NOTIFY presentationChanged)
    Q_PROPERTY(QString takeoverCancel READ takeoverCancel NOTIFY presentationChanged)
    Q_PROPERTY(QString takeoverConfirm READ takeoverConfirm NOTIFY presentationChanged)

    // The model's approval prompt flag: the view opens its alert when it rises and closes it
    // when it falls (and opens it at once when it is already up).
    Q_PROPERTY(bool approvalPromptPresented READ approvalPromptPresented NOTIFY
                   approvalPromptPresentedChanged)

    // View state of this opening.
    Q_PROPERTY(bool showingSettings READ showingSettings NOTIFY showingSettingsChanged)
    // The page's presenter while it is shown, a new one at each showing; null otherwise.
    Q_PROPERTY(ventrella::ui::SettingsPagePresenter* settingsPage READ settingsPage NOTIFY
                   showingSettingsChanged)
    // Where the settings page opens: "top".
    Q_PROPERTY(
        QString settingsInitialSection READ settingsInitialSection NOTIFY showingSettingsChanged)
    Q_PROPERTY(bool showingTakeoverConfirmation READ showingTakeoverConfirmation NOTIFY
                   showingTakeoverConfirmationChanged)

  public:
    static constexpr double popoverWidth = 360;

    // Reads the model through `bridge`, which outlives the presenter.
    explicit MenuContentPresenter(AppModelBridge& bridge, QObject* parent = nullptr);

    AppModelBridge& bridge() { return bridge_; }
    const DashboardPresentation& presentation() const { return presentation_; }

    QString language() const;
    QString title() const { return text(presentation_.title); }
    QString modeTitle() const { return text(presentation_.modeTitle); }
    QString modeSymbol() const { return text(presentation_.modeSymbol); }
    QColor modeColor() const { return palette_.color(presentation_.modeColor); }
    QString temperature() const { return text(presentation_.temperature); }
    QString temperatureDetail() const { return text(presentation_.temperatureDetail); }
    QVariant gaugeTemperature() const;
    double boostThreshold() const { return state_.boostEnterCelsius; }
    double emergencyThreshold() const { return state_.emergencyEnterCelsius; }
    QString fansHeader() const { return text(presentation_.fansHeader); }
    QColor fansHeaderColor() const { return palette_.color(presentation_.fansHeaderColor); }
    QString fansMode() const { return text(presentation_.fansMode); }
    QString waitingForFans() const { return text(presentation_.waitingForFans); }
    QVariantList fanRows() const;
    QString controlTitle() const { return text(presentation_.controlTitle); }
    QString controlSubtitle() const { return text(presentation_.controlSubtitle); }
    bool controlOn() const { return presentation_.controlOn; }
    bool controlAvailable() const { return presentation_.controlAvailable; }
    bool showsHelperRow() const { return presentation_.showsHelperRow; }
    QString helperSymbol() const { return text(presentation_.helperSymbol); }
    QString helperTitle() const { return text(presentation_.helperTitle); }
    QString helperState() const { return text(presentation_.helperState); }
    QString helperNote() const { return text(presentation_.helperNote); }
    QString helperAction() const { return text(presentation_.helperAction); }
    bool helperActionAvailable() const { return presentation_.helperActionAvailable; }
    bool showsStatusRow() const { return presentation_.showsStatusRow; }
    bool showsProgress() const { return presentation_.showsProgress; }
    QString statusSymbol() const { return text(presentation_.statusSymbol); }
    QColor statusColor() const { return palette_.color(presentation_.statusColor); }
    QString statusMessage() const { return text(presentation_.statusMessage); }
    bool showsTakeOver() const { return presentation_.showsTakeOver; }
    QString takeOverTitle() const { return text(presentation_.takeOverTitle); }
    QString settingsTitle() const { return text(presentation_.settingsTitle); }
    QString quitTitle() const { return text(presentation_.quitTitle); }
    QString approvalTitle() const { return text(presentation_.approvalTitle); }
    QString approvalMessage() const { return text(presentation_.approvalMessage); }
    QString approvalCancel() const { return text(presentation_.approvalCancel); }
    QString approvalOpenSettings() const { return text(presentation_.approvalOpenSettings); }
    QString takeoverTitle() const { return text(presentation_.takeoverTitle); }
    QString takeoverMessage() const { return text(presentation_.takeoverMessage); }
    QString takeoverCancel() const { return text(presentation_.takeoverCancel); }
    QString takeoverConfirm() const { return text(presentation_.takeoverConfirm); }
    bool approvalPromptPresented() const { return state_.helperApprovalPromptPresented; }
    bool showingSettings() const { return settingsPage_ != nullptr; }
    SettingsPagePresenter* settingsPage() const { return settingsPage_; }
    QString settingsInitialSection() const { return QStringLiteral("top"); }
    bool showingTakeoverConfirmation() const { return showingTakeoverConfirmation_; }

    // The switch, toggled by the user to `enabled`. The switch then shows the model's
    // `controlEnabled` again, which changes only when the model acts on the request.
    Q_INVOKABLE void toggleControl(bool enabled);
    // The helper row's "Install" or "Update".
    Q_INVOKABLE void installHelper();
    // "Take Over" asks for confirmation; "Take Control" takes over (which the model ignores when
    // a takeover is no longer possible); any other way out only closes the confirmation.
    Q_INVOKABLE void requestTakeoverConfirmation();
    Q_INVOKABLE void confirmTakeover();
    Q_INVOKABLE void dismissTakeoverConfirmation();
    // The approval alert's buttons, and its dismissal by any means (run after the button's
    // action): "Open System Settings" acts while the model's flag is still up, and a dismissal
    // lowers the flag only when it is still up.
    Q_INVOKABLE void cancelApproval();
    Q_INVOKABLE void openApprovalSettings();
    Q_INVOKABLE void approvalDismissed();
    // The footer's "Settings" (a new page with a fresh draft), and the settings page's back
    // button (the page and its draft go).
    Q_INVOKABLE void openSettings();
    Q_INVOKABLE void closeSettings();
    // The footer's "Quit": the model switches control off and ends the application.
    Q_INVOKABLE void quit();

  signals:
    void presentationChanged();
    void approvalPromptPresentedChanged();
    void showingSettingsChanged();
    void showingTakeoverConfirmationChanged();

  private:
    static QString text(const std::string& value) { return QString::fromStdString(value); }
    void refresh();

    AppModelBridge& bridge_;
    Palette palette_;
    DashboardState state_;
    DashboardPresentation presentation_;
    // Owned; deleted later when the page closes, since its view may still be on the stack.
    SettingsPagePresenter* settingsPage_ = nullptr;
    bool showingTakeoverConfirmation_ = false;

    double width_ = popoverWidth;
    double padding_ = 16;
    double spacing_ = 14;
    double badgeSize_ = 50;
    double fanModeWidth_ = 42;
    double helperActionMinimumWidth_ = 76;
    double quitMinimumWidth_ = 56;
};

}  // namespace ventrella::ui
