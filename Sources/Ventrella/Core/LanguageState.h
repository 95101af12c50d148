#pragma once

#include <mutex>

#include "Ventrella/Core/AppLanguage.h"

namespace ventrella::core {

// The interface language of the process, read and written under a leaf lock that is held for
// nothing else.
class LanguageState {
  public:
    // The one state of the process: made on first use and never freed, so that a text looked
    // up on another thread while the process exits still finds it.
    static LanguageState& shared();

    AppLanguage storedLanguage() const;
    void store(AppLanguage language);

  private:
    LanguageState() = default;

    mutable std::mutex lock_;
    AppLanguage storedLanguage_ = AppLanguage::system;
};

}  // namespace ventrella::core
