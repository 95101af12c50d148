#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "Platform/Dispatch/SerialQueue.h"
#include "Ventrella/Diagnostics/DiagnosticEventSink.h"
#include "Ventrella/Diagnostics/DiagnosticLevel.h"
#include "Ventrella/Diagnostics/DiagnosticRecord.h"
#include "Ventrella/Diagnostics/DiagnosticReportExporting.h"
#include "Ventrella/Diagnostics/DiagnosticSanitizer.h"

namespace ventrella::diagnostics {

// The application's persistent event log: one JSON line per event in "Ventrella.jsonl" of its
// folder, with one older generation kept as "Ventrella.previous.jsonl". Recording returns at
// once; the files are touched only on the log's own serial queue. Failures to write drop the
// record silently; the next record starts afresh. A symbolic link at a file's place is never
// followed: writing removes it and starts a fresh file, and the report reads it as missing.
class DiagnosticLog final : public DiagnosticEventSink, public DiagnosticReportExporting {
  public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    // Turns an English text of the report into the interface language.
    using TextLookup = std::function<std::string(const std::string&)>;

    static constexpr std::string_view queueLabel = "com.quillmoor.Ventrella.diagnostics";
    static constexpr std::string_view activeFileName = "Ventrella.jsonl";
    static constexpr std::string_view backupFileName = "Ventrella.previous.jsonl";
    static constexpr std::int64_t smallestFileSizeLimit = 1024;
    static constexpr std::int64_t sharedMaximumFileBytes = 262144;

    // Touches no file. The size limit is the larger of `maximumFileBytes` and 1024.
    DiagnosticLog(std::filesystem::path directory, std::int64_t maximumFileBytes,
                  Clock now = &std::chrono::system_clock::now,
                  std::string homeDirectory = userHomeDirectory(),
                  TextLookup lookup = &untranslated);
    // Writes every record queued before it, then stops.
    ~DiagnosticLog() override;

    DiagnosticLog(const DiagnosticLog&) = delete;
    DiagnosticLog& operator=(const DiagnosticLog&) = delete;

    // The process's log under the user's home, "Library/Logs/Ventrella", 256 KiB a file, its
    // report texts in the interface language. Made on first use and never destroyed.
    static DiagnosticLog& shared();

    // The user's home (see platform::foundation::homeDirectory), else "/".
    static std::string userHomeDirectory();
    static std::string untranslated(const std::string& text) { return text; }

    // Takes the timestamp now, on the caller's thread, and writes on the queue. Dropped once
    // the log has been drained.
    void record(DiagnosticLevel level, const std::string& event, const std::string& message,
                const DiagnosticMetadata& metadata) override;

    // Builds the report from both files on the queue, after every record queued before, and
    // writes it to `destination` atomically (0644, or no wider than the file it replaces).
    // Each file gives at most twice the size limit: of a longer one (grown by something else),
    // its newest whole lines, after a line saying how many bytes were left out. Blocks until
    // written: call it off the main thread.
    void writeReport(const std::filesystem::path& destination,
                     const std::map<std::string, std::string>& header) override;

    // For the end of the process: takes no more records and waits at most `timeoutSeconds`
    // for the queued ones to be written. True when all were; when the time runs out, records
    // not yet begun are dropped.
    bool drain(double timeoutSeconds);

    const std::filesystem::path& directory() const { return directory_; }
    const std::filesystem::path& activeFile() const { return activeFile_; }
    const std::filesystem::path& backupFile() const { return backupFile_; }
    std::int64_t fileSizeLimit() const { return fileSizeLimit_; }

  private:
    DiagnosticRecord sanitized(std::chrono::system_clock::time_point timestamp,
                               DiagnosticLevel level, std::string_view event,
                               std::string_view message, const DiagnosticMetadata& metadata) const;
    std::string lineFor(const DiagnosticRecord& record) const;
    bool append(const DiagnosticRecord& record) const;
    std::string reportText(const std::map<std::string, std::string>& header) const;

    std::filesystem::path directory_;
    std::filesystem::path activeFile_;
    std::filesystem::path backupFile_;
    std::int64_t fileSizeLimit_;
    Clock now_;
    DiagnosticSanitizer sanitize_;
    TextLookup lookup_;
    std::mutex gate_;  // orders record() against drain(); held only to submit
    bool closed_ = false;
    std::atomic<bool> abandoned_{false};
    // Last, so that it is destroyed first, while the work it still runs can use the rest.
    platform::dispatch::SerialQueue queue_;
};

}  // namespace ventrella::diagnostics
