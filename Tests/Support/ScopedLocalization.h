#pragma once

#include <filesystem>

#include "Platform/Foundation/ScopedMainBundle.h"
#include "Ventrella/Core/L10n.h"
#include "Ventrella/Core/LanguageState.h"

namespace ventrella::testsupport {

// Points the main bundle at `bundle` and sets the interface language for the lifetime of the
// object; the previous bundle and language come back at its end. For test targets that link
// VentrellaCore (the built application bundle is at VENTRELLA_APP_BUNDLE_DIR for targets marked
// with ventrella_uses_app_bundle).
class ScopedLocalization {
  public:
    ScopedLocalization(const std::filesystem::path& bundle, core::AppLanguage language)
        : mainBundle_(bundle), previous_(core::LanguageState::shared().storedLanguage()) {
        core::L10n::setLanguage(language);
    }

    ~ScopedLocalization() { core::L10n::setLanguage(previous_); }

    ScopedLocalization(const ScopedLocalization&) = delete;
    ScopedLocalization& operator=(const ScopedLocalization&) = delete;

  private:
    platform::foundation::ScopedMainBundle mainBundle_;
    core::AppLanguage previous_;
};

}  // namespace ventrella::testsupport
