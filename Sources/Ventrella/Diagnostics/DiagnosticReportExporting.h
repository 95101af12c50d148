#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace ventrella::diagnostics {

// Writes the plain-text diagnostic report: the header lines, then the recorded events.
class DiagnosticReportExporting {
  public:
    virtual ~DiagnosticReportExporting() = default;

    // Throws DiagnosticReportError when a log cannot be read or the report cannot be written.
    virtual void writeReport(const std::filesystem::path& destination,
                             const std::map<std::string, std::string>& header) = 0;
};

}  // namespace ventrella::diagnostics
