#pragma once

#include "Ventrella/Diagnostics/DiagnosticReportContext.h"

namespace ventrella::diagnostics {

// Saves a diagnostic report where the user chooses.
class DiagnosticReportCoordinating {
  public:
    virtual ~DiagnosticReportCoordinating() = default;

    // True when a report was written, false when the user cancelled. Throws the error of
    // building or writing the report (DiagnosticReportError).
    virtual bool exportReport(const DiagnosticReportContext& context) = 0;
};

}  // namespace ventrella::diagnostics
