#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ventrella::diagnostics {

// Makes a text fit for one line of the log: invalid UTF-8 repaired, the user's home folder
// written as "~", carriage returns and line feeds as spaces, then cut to a number of Unicode
// scalars.
class DiagnosticSanitizer {
  public:
    // A home of "" or "/" is never replaced; a trailing "/" of the home is ignored.
    explicit DiagnosticSanitizer(std::string_view homeDirectory);

    std::string operator()(std::string_view text, std::size_t maximumScalars) const;

  private:
    std::string home_;
};

}  // namespace ventrella::diagnostics
