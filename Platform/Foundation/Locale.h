#pragma once

#include <string>

#include "Platform/Foundation/EnvironmentLookup.h"

namespace platform::foundation {

// A locale named by its language tag ("de", "pt-BR", "zh-Hans"); it decides how numbers are
// written (see LocaleNumberFormatter).
class Locale {
  public:
    explicit Locale(std::string identifier) : identifier_(std::move(identifier)) {}

    // The user's own locale: the first of LC_ALL, LC_NUMERIC and LANG that names a language,
    // else "en".
    static Locale current(const EnvironmentLookup& environment = processEnvironmentValue);

    const std::string& identifier() const { return identifier_; }

    bool operator==(const Locale&) const = default;

  private:
    std::string identifier_;
};

}  // namespace platform::foundation
