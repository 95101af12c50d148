#include "Ventrella/UI/L10nTranslator.h"

#include "Ventrella/Core/L10n.h"

namespace ventrella::ui {

QString L10nTranslator::translate(const char* /*context*/, const char* sourceText,
                                  const char* /*disambiguation*/, int /*n*/) const {
    if (sourceText == nullptr || *sourceText == '\0') {
        return {};
    }
    return QString::fromStdString(core::L10n::string(sourceText));
}

}  // namespace ventrella::ui
