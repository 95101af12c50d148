#pragma once

#include <filesystem>
#include <stdexcept>

namespace ventrella::diagnostics {

// Why a diagnostic report could not be written. The description names the file only by its
// name, so that no home folder path reaches the interface.
class DiagnosticReportError : public std::runtime_error {
  public:
    enum class Reason {
        logUnreadable,    // a log file exists but cannot be read
        logNotText,       // a log file is not UTF-8 text
        reportUnwritable  // the report could not be written to its place
    };

    DiagnosticReportError(Reason reason, std::filesystem::path file);

    Reason reason() const { return reason_; }
    const std::filesystem::path& file() const { return file_; }

    bool operator==(const DiagnosticReportError& other) const {
        return reason_ == other.reason_ && file_ == other.file_;
    }

  private:
    Reason reason_;
    std::filesystem::path file_;
};

}  // namespace ventrella::diagnostics
