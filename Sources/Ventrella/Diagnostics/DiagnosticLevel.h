#pragma once

#include <string_view>

namespace ventrella::diagnostics {

// How serious a diagnostic event is; stored as its raw value.
enum class DiagnosticLevel { info, warning, error };

// "info", "warning" or "error".
std::string_view rawValue(DiagnosticLevel level);

}  // namespace ventrella::diagnostics
