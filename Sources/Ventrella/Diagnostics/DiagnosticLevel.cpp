#include "Ventrella/Diagnostics/DiagnosticLevel.h"

namespace ventrella::diagnostics {

std::string_view rawValue(DiagnosticLevel level) {
    switch (level) {
        case DiagnosticLevel::info:
            return "info";
        case DiagnosticLevel::warning:
            return "warning";
        case DiagnosticLevel::error:
            return "error";
    }
    return "error";
}

}  // namespace ventrella::diagnostics
