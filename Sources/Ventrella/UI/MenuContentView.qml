pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls.Basic
import Ventrella.UI

// The popover's content: the dashboard, or the settings page in its place, 360 points wide, in
// the interface language's locale and direction; with the helper approval alert and the
// takeover confirmation. A new one is built at every opening.
//
// The approval alert follows the model's flag: it opens when the flag rises (or at once when
// it is already up) and closes when it falls; however the alert goes away, the flag is lowered
// after its button has acted.
AppLanguageScope {
    id: root

    required property MenuContentPresenter presenter
    // The software-update manager, handed to the settings page.
    property SparkleUpdateManager updateManager

    readonly property Item page: pages.count > 0 ? pages.itemAt(0) : null
    readonly property bool rightToLeft: LayoutMirroring.enabled

    // The model's approval flag and this opening's view state, followed by their changes.
    readonly property bool approvalPromptPresented: presenter.approvalPromptPresented
    readonly property bool showingTakeoverConfirmation: presenter.showingTakeoverConfirmation
    readonly property bool showingSettings: presenter.showingSettings

    language: presenter.language
    implicitWidth: presenter.width
    implicitHeight: page !== null ? page.implicitHeight : dashboard.implicitHeight
    clip: true
    background: Rectangle {
        color: Theme.background
    }

    onApprovalPromptPresentedChanged: {
        if (approvalPromptPresented)
            approvalAlert.open()
        else
            approvalAlert.close()
    }
    onShowingTakeoverConfirmationChanged: {
        if (showingTakeoverConfirmation)
            takeoverAlert.open()
        else
            takeoverAlert.close()
    }
    onShowingSettingsChanged: {
        if (!showingSettings)
            dashboardIn.start()
    }
    Component.onCompleted: {
        if (approvalPromptPresented)
            approvalAlert.open()
    }

    DashboardView {
        id: dashboard

        objectName: "dashboard"
        width: root.availableWidth
        visible: !root.showingSettings
        presenter: root.presenter
    }

    // The page of this showing: its view goes with the showing, never bound to the next one.
    Repeater {
        id: pages

        model: root.presenter.settingsPage !== null ? [root.presenter.settingsPage] : []

        SettingsView {
            id: settingsPage

            required property SettingsPagePresenter modelData

            objectName: "settingsPage"
            width: root.availableWidth
            presenter: settingsPage.modelData
            updateManager: root.updateManager
            onCloseRequested: root.presenter.closeSettings()
            Component.onCompleted: {
                settingsPage.forceActiveFocus()
                slideIn.start()
            }

            // In from the trailing edge. (The linter of Qt 6.4 knows no easing curve.)
            ParallelAnimation {
                id: slideIn

                NumberAnimation {
                    target: settingsPage
                    property: "x"
                    from: root.rightToLeft ? -root.width : root.width
                    to: 0
                    duration: 220
                    easing.type: Easing.OutCubic // qmllint disable
                }
                NumberAnimation {
                    target: settingsPage
                    property: "opacity"
                    from: 0
                    to: 1
                    duration: 220
                }
            }
        }
    }

    // The dashboard comes back in from the leading edge.
    ParallelAnimation {
        id: dashboardIn

        NumberAnimation {
            target: dashboard
            property: "x"
            from: root.rightToLeft ? root.width : -root.width
            to: 0
            duration: 220
            easing.type: Easing.OutCubic // qmllint disable
        }
        NumberAnimation {
            target: dashboard
            property: "opacity"
            from: 0
            to: 1
            duration: 220
        }
    }

    AlertDialog {
        id: approvalAlert

        objectName: "approvalAlert"
        title: root.presenter.approvalTitle
        message: root.presenter.approvalMessage
        cancelText: root.presenter.approvalCancel
        confirmText: root.presenter.approvalOpenSettings
        onCancelled: root.presenter.cancelApproval()
        onConfirmed: root.presenter.openApprovalSettings()
        onClosed: root.presenter.approvalDismissed()
    }

    AlertDialog {
        id: takeoverAlert

        objectName: "takeoverAlert"
        title: root.presenter.takeoverTitle
        message: root.presenter.takeoverMessage
        cancelText: root.presenter.takeoverCancel
        confirmText: root.presenter.takeoverConfirm
        onConfirmed: root.presenter.confirmTakeover()
        onClosed: root.presenter.dismissTakeoverConfirmation()
    }
}
