#include "Ventrella/Diagnostics/DiagnosticReportError.h"

#include <string>

namespace ventrella::diagnostics {

namespace {

std::string describe(DiagnosticReportError::Reason reason, const std::filesystem::path& file) {
    const std::string name = "\"" + file.filename().string() + "\"";
    switch (reason) {
        case DiagnosticReportError::Reason::logUnreadable:
            return "The diagnostic log " + name + " could not be read.";
        case DiagnosticReportError::Reason::logNotText:
            return "The diagnostic log " + name + " is not UTF-8 text.";
        case DiagnosticReportError::Reason::reportUnwritable:
            break;
    }
    return "The diagnostic report " + name + " could not be written.";
}

}  // namespace

DiagnosticReportError::DiagnosticReportError(Reason reason, std::filesystem::path file)
    : std::runtime_error(describe(reason, file)), reason_(reason), file_(std::move(file)) {}

}  // namespace ventrella::diagnostics
