#include "Ventrella/UI/ViewLanguageFollower.h"

#include <QQmlEngine>

#include "Ventrella/UI/AppModelBridge.h"

namespace ventrella::ui {

ViewLanguageFollower::ViewLanguageFollower(QQmlEngine& engine, AppModelBridge& bridge,
                                           QObject* parent)
    : QObject(parent),
      engine_(engine),
      bridge_(bridge),
      language_(bridge.model().settings().appLanguage) {
    connect(&bridge_, &AppModelBridge::settingsChanged, this,
            &ViewLanguageFollower::settingsChanged);
}

void ViewLanguageFollower::settingsChanged() {
    const core::AppLanguage language = bridge_.model().settings().appLanguage;
    if (language != language_) {
        language_ = language;
        engine_.retranslate();
    }
}

}  // namespace ventrella::ui
