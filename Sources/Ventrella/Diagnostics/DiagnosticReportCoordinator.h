#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "Ventrella/Diagnostics/DiagnosticReportCoordinating.h"
#include "Ventrella/Diagnostics/DiagnosticReportExporting.h"
#include "Ventrella/Diagnostics/SavePanel.h"

namespace ventrella::diagnostics {

// Where the report coordinator reads the helper's audit log, and whose it must be.
struct HelperAuditSource {
    // Absent: the helper's file under the platform root, resolved at each export.
    std::optional<std::filesystem::path> file;
    std::uint32_t requiredOwnerUID = 0;
};

// Shows the save panel, adds the helper's last refused client to the context's header and has
// the exporter (the event log) write the report on a worker thread.
class DiagnosticReportCoordinator final : public DiagnosticReportCoordinating {
  public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    static constexpr std::string_view helperAuditPath =
        "/Library/Application Support/Ventrella/helper-auth.jsonl";
    static constexpr std::int64_t helperAuditReadBytes = 32768;
    static constexpr std::string_view lastRejectionKey = "helper_auth_last_rejection";

    // `now` gives the local date and time of the proposed file name.
    DiagnosticReportCoordinator(std::shared_ptr<DiagnosticReportExporting> exporter,
                                std::shared_ptr<SavePanel> savePanel,
                                Clock now = &std::chrono::system_clock::now,
                                HelperAuditSource helperAudit = {});

    // Proposes "Ventrella-Diagnostic-Report-<yyyyMMdd-HHmmss>.txt" as plain text.
    std::optional<platform::dispatch::Task<void>> exportReport(
        const DiagnosticReportContext& context) override;

  private:
    std::string proposedFileName() const;
    std::filesystem::path helperAuditFile() const;

    std::shared_ptr<DiagnosticReportExporting> exporter_;
    std::shared_ptr<SavePanel> savePanel_;
    Clock now_;
    HelperAuditSource helperAudit_;
};

}  // namespace ventrella::diagnostics
