#include "Ventrella/Core/LanguageState.h"

namespace ventrella::core {

LanguageState& LanguageState::shared() {
    static auto* state = new LanguageState();
    return *state;
}

AppLanguage LanguageState::storedLanguage() const {
    const std::lock_guard guard(lock_);
    return storedLanguage_;
}

void LanguageState::store(AppLanguage language) {
    const std::lock_guard guard(lock_);
    storedLanguage_ = language;
}

}  // namespace ventrella::core
