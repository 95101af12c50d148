#pragma once

#include <QTranslator>

namespace ventrella::ui {

// Resolves the views' fixed texts (qsTr in QML) through L10n: the English text is the key in the
// table "Localizable" and its own fallback, whatever the translation context. Installed once on
// the application; QQmlEngine::retranslate() shows a new language in views already built.
class L10nTranslator : public QTranslator {
  public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }
};

}  // namespace ventrella::ui
