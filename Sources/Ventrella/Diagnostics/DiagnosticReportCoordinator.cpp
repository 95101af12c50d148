#include "Ventrella/Diagnostics/DiagnosticReportCoordinator.h"

#include <time.h>

#include <array>
#include <map>
#include <string>
#include <utility>

#include "Platform/Dispatch/Detached.h"
#include "Platform/Foundation/PlatformRoot.h"
#include "Ventrella/Core/L10n.h"
#include "VentrellaSecurity/ClientAuthorizationAuditEntry.h"
#include "VentrellaSecurity/ClientAuthorizationAuditLog.h"

namespace ventrella::diagnostics {

namespace {

// The log's reading and the write block: the awaiting task's thread goes on meanwhile.
platform::dispatch::Task<void> writeOnWorker(std::shared_ptr<DiagnosticReportExporting> exporter,
                                             std::filesystem::path destination,
                                             std::map<std::string, std::string> header) {
    auto write = [exporter = std::move(exporter), destination = std::move(destination),
                  header = std::move(header)] { exporter->writeReport(destination, header); };
    co_await platform::dispatch::detached(std::move(write));
}

}  // namespace

DiagnosticReportCoordinator::DiagnosticReportCoordinator(
    std::shared_ptr<DiagnosticReportExporting> exporter, std::shared_ptr<SavePanel> savePanel,
    Clock now, HelperAuditSource helperAudit)
    : exporter_(std::move(exporter)),
      savePanel_(std::move(savePanel)),
      now_(std::move(now)),
      helperAudit_(std::move(helperAudit)) {}

std::optional<platform::dispatch::Task<void>> DiagnosticReportCoordinator::exportReport(
    const DiagnosticReportContext& context) {
    const auto destination =
        savePanel_->chooseDestination({core::L10n::string("Save Ventrella Diagnostic Report"),
                                       proposedFileName(),
                                       {"txt"},
                                       true});
    if (!destination || destination->empty()) {
        return std::nullopt;
    }
    auto header = context.header();
    if (const auto entry = security::ClientAuthorizationAuditLog::latestEntry(
            helperAuditFile(), helperAuditReadBytes, helperAudit_.requiredOwnerUID)) {
        if (const auto date = security::iso8601String(entry->timestamp)) {
            header.insert_or_assign(std::string(lastRejectionKey),
                                    *date + " " + std::string(security::rawValue(entry->reason)));
        }
    }
    return writeOnWorker(exporter_, *destination, std::move(header));
}

std::string DiagnosticReportCoordinator::proposedFileName() const {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now_());
    // The zone may have changed since the process started.
    ::tzset();
    std::tm local{};
    std::array<char, 32> stamp{};
    std::size_t length = 0;
    if (::localtime_r(&seconds, &local) != nullptr) {
        length = std::strftime(stamp.data(), stamp.size(), "%Y%m%d-%H%M%S", &local);
    }
    return "Ventrella-Diagnostic-Report-" + std::string(stamp.data(), length) + ".txt";
}

std::filesystem::path DiagnosticReportCoordinator::helperAuditFile() const {
    return helperAudit_.file ? *helperAudit_.file
                             : platform::foundation::resolveMacPath(helperAuditPath);
}

}  // namespace ventrella::diagnostics
