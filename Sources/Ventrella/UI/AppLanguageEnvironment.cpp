#include "Ventrella/UI/AppLanguageEnvironment.h"

#include <QLocale>

#include "Ventrella/Core/L10n.h"

namespace ventrella::ui {

AppLanguageEnvironment::Environment AppLanguageEnvironment::environmentFor(
    core::AppLanguage language) {
    Environment environment;
    if (language != core::AppLanguage::system) {
        environment.localeIdentifier = core::L10n::locale().identifier();
    }
    environment.rightToLeft = isRightToLeft(core::L10n::tableLanguage());
    return environment;
}

bool AppLanguageEnvironment::isRightToLeft(const std::string& languageTag) {
    if (languageTag.empty()) {
        return false;
    }
    // QLocale falls back to "C" (left to right) for a tag it does not know.
    return QLocale(QString::fromStdString(languageTag)).textDirection() == Qt::RightToLeft;
}

AppLanguageEnvironment::AppLanguageEnvironment(QObject* parent) : QObject(parent) {
    environment_ = environmentFor(core::AppLanguage::system);
}

void AppLanguageEnvironment::setLanguage(const QString& language) {
    if (language == language_) {
        return;
    }
    language_ = language;
    refresh();
}

void AppLanguageEnvironment::refresh() {
    const auto language =
        core::appLanguageFromRawValue(language_.toStdString()).value_or(core::AppLanguage::system);
    environment_ = environmentFor(language);
    emit languageChanged();
}

QString AppLanguageEnvironment::localeName() const {
    if (!environment_.localeIdentifier) {
        return {};
    }
    // Qt names locales with "_" between language and region.
    return QString::fromStdString(*environment_.localeIdentifier).replace(u'-', u'_');
}

}  // namespace ventrella::ui
