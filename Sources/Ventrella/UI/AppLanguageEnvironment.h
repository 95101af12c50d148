#pragma once

#include <QtQml/qqmlregistration.h>
#include <QObject>
#include <QString>
#include <optional>
#include <string>

#include "Ventrella/Core/AppLanguage.h"

namespace ventrella::ui {

// The locale and layout direction the popover takes from the interface language. The direction
// is that of the language whose table the texts come from (L10n::tableLanguage), for "system"
// too, so that Arabic texts are laid out right to left and English fallback texts never are.
// The locale is L10n's for a chosen language; "system" leaves the view's own locale alone.
class AppLanguageEnvironment : public QObject {
    Q_OBJECT
    QML_ELEMENT

    // The language's raw value ("system", "de", "ar"); anything unknown counts as "system".
    Q_PROPERTY(QString language READ language WRITE setLanguage NOTIFY languageChanged)
    Q_PROPERTY(bool rightToLeft READ rightToLeft NOTIFY languageChanged)
    Q_PROPERTY(bool overridesLocale READ overridesLocale NOTIFY languageChanged)
    // The locale's name for Qt ("de", "pt_BR"); empty when the locale is left alone.
    Q_PROPERTY(QString localeName READ localeName NOTIFY languageChanged)

  public:
    struct Environment {
        std::optional<std::string> localeIdentifier;  // absent: untouched
        bool rightToLeft = false;

        bool operator==(const Environment&) const = default;
    };

    // For `language` as chosen, with L10n's current tables and locale.
    static Environment environmentFor(core::AppLanguage language);

    // Whether a language tag ("ar", "de-AT", "fa") is written right to left.
    static bool isRightToLeft(const std::string& languageTag);

    explicit AppLanguageEnvironment(QObject* parent = nullptr);

    QString language() const { return language_; }
    void setLanguage(const QString& language);
    bool rightToLeft() const { return environment_.rightToLeft; }
    bool overridesLocale() const { return environment_.localeIdentifier.has_value(); }
    QString localeName() const;

    // Reads the tables and locale again (after L10n's language changed under the same raw value).
    Q_INVOKABLE void refresh();

  signals:
    void languageChanged();

  private:
    QString language_ = QStringLiteral("system");
    Environment environment_;
};

}  // namespace ventrella::ui
