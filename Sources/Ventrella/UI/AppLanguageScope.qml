import QtQuick
import QtQuick.Controls.Basic
import Ventrella.UI

// Gives its content the locale and layout direction of the interface language: right to left
// when the texts come from an Arabic table, the chosen language's locale unless it is "system".
Pane {
    id: scope

    // The language's raw value ("system", "de", "ar").
    required property string language
    readonly property alias environment: environment

    padding: 0
    background: null
    LayoutMirroring.enabled: environment.rightToLeft
    LayoutMirroring.childrenInherit: true
    // The linter of Qt 6.4 knows no QLocale type.
    locale: environment.overridesLocale ? Qt.locale(environment.localeName) : Qt.locale() // qmllint disable type

    AppLanguageEnvironment {
        id: environment

        language: scope.language
    }
}
