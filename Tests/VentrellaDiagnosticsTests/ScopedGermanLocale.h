#pragma once

#include <locale>

namespace ventrella::diagnostics::testing {

// Makes German numbers (a decimal comma, dots between thousands) the process's own for the
// lifetime of the object, as a user's German region would: the global C++ locale and, with it,
// the C library's, which printf-style formatting and strtod follow. Needs the de_DE.UTF-8
// locale (scripts/setup makes it); throws std::runtime_error without it.
class ScopedGermanLocale {
  public:
    ScopedGermanLocale()
        : previous_(std::locale::global(
              std::locale(std::locale::classic(), "de_DE.UTF-8", std::locale::numeric))) {}
    ~ScopedGermanLocale() { std::locale::global(previous_); }

    ScopedGermanLocale(const ScopedGermanLocale&) = delete;
    ScopedGermanLocale& operator=(const ScopedGermanLocale&) = delete;

  private:
    std::locale previous_;
};

}  // namespace ventrella::diagnostics::testing
