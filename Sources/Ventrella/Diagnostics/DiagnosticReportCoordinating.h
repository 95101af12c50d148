#pragma once

#include <optional>

#include "Platform/Dispatch/Task.h"
#include "Ventrella/Diagnostics/DiagnosticReportContext.h"

namespace ventrella::diagnostics {

// Saves a diagnostic report where the user chooses.
class DiagnosticReportCoordinating {
  public:
    virtual ~DiagnosticReportCoordinating() = default;

    // Asks the user where to save, on the calling thread. Nothing when the user cancelled;
    // otherwise the writing of the report, which runs off the awaiting task's thread and
    // throws the error of building or writing it (DiagnosticReportError).
    virtual std::optional<platform::dispatch::Task<void>> exportReport(
        const DiagnosticReportContext& context) = 0;
};

}  // namespace ventrella::diagnostics
