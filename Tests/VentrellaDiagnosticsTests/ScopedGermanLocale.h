#pragma once

#include <locale>
#include <string>

namespace ventrella::diagnostics::testing {

// Decimal comma and dot grouping, as a German locale has them.
struct GermanNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Makes German numbers the process's global locale for the lifetime of the object.
class ScopedGermanLocale {
  public:
    ScopedGermanLocale()
        : previous_(std::locale::global(std::locale(std::locale::classic(), new GermanNumbers))) {}
    ~ScopedGermanLocale() { std::locale::global(previous_); }

    ScopedGermanLocale(const ScopedGermanLocale&) = delete;
    ScopedGermanLocale& operator=(const ScopedGermanLocale&) = delete;

  private:
    std::locale previous_;
};

}  // namespace ventrella::diagnostics::testing
