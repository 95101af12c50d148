#include "Ventrella/Diagnostics/DiagnosticLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "Platform/Foundation/HomeDirectory.h"
#include "Platform/Foundation/ScopedDescriptor.h"
#include "Platform/Foundation/UnicodeText.h"
#include "Ventrella/Core/L10n.h"
#include "Ventrella/Diagnostics/DiagnosticReportError.h"
#include "VentrellaSecurity/ClientAuthorizationAuditEntry.h"

namespace ventrella::diagnostics {

namespace fs = std::filesystem;
using platform::foundation::ScopedDescriptor;

namespace {

constexpr std::size_t kEventScalars = 80;
constexpr std::size_t kMessageScalars = 512;
constexpr std::size_t kMetadataPairs = 20;
constexpr std::size_t kMetadataKeyScalars = 80;
constexpr std::size_t kMetadataValueScalars = 256;
constexpr std::size_t kHeaderKeyScalars = 80;
constexpr std::size_t kHeaderValueScalars = 1024;

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(count));
    }
    return true;
}

// Creates the folder and any missing parents, each 0700 whatever the umask.
bool makeDirectory(const fs::path& directory) {
    struct stat info {};
    if (::stat(directory.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode);
    }
    if (errno != ENOENT) {
        return false;
    }
    const fs::path parent = directory.parent_path();
    if (!parent.empty() && parent != directory && !makeDirectory(parent)) {
        return false;
    }
    if (::mkdir(directory.c_str(), 0700) != 0) {
        return errno == EEXIST && ::stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    return ::chmod(directory.c_str(), 0700) == 0;
}

std::int64_t sizeOf(const fs::path& file) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) {
        return 0;
    }
    return static_cast<std::int64_t>(info.st_size);
}

bool isPresent(const fs::path& file) {
    struct stat info {};
    return ::lstat(file.c_str(), &info) == 0;
}

bool isLink(const fs::path& file) {
    struct stat info {};
    return ::lstat(file.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Opens the active file for appending, creating it 0600 when it is missing. A link is refused.
int openForAppend(const fs::path& file) {
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW;
    const int fd = ::open(file.c_str(), flags);
    if (fd >= 0 || errno != ENOENT) {
        return fd;
    }
    const int created = ::open(file.c_str(), flags | O_CREAT | O_EXCL, 0600);
    if (created >= 0 && ::fchmod(created, 0600) != 0) {
        ::close(created);
        return -1;
    }
    return created;
}

// The file's text, or nothing when it does not exist or is a symbolic link (never followed).
// Of a file longer than `maximumBytes`, its newest whole lines within that many bytes, after a
// line that says how much was left out. Throws when it exists but cannot be read as UTF-8 text.
std::string readLogText(const fs::path& file, std::int64_t maximumBytes) {
    ScopedDescriptor descriptor(
        ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (descriptor.get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) {
            return {};
        }
        throw DiagnosticReportError(DiagnosticReportError::Reason::logUnreadable, file);
    }
    struct stat info {};
    if (::fstat(descriptor.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw DiagnosticReportError(DiagnosticReportError::Reason::logUnreadable, file);
    }
    const std::int64_t size = info.st_size;
    const std::int64_t skipped = std::max<std::int64_t>(size - maximumBytes, 0);
    std::string text(static_cast<std::size_t>(size - skipped), '\0');
    std::size_t total = 0;
    while (total < text.size()) {
        const ssize_t count =
            ::pread(descriptor.get(), text.data() + total, text.size() - total,
                    static_cast<off_t>(skipped + static_cast<std::int64_t>(total)));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            throw DiagnosticReportError(DiagnosticReportError::Reason::logUnreadable, file);
        }
        if (count == 0) {
            break;
        }
        total += static_cast<std::size_t>(count);
    }
    text.resize(total);
    if (skipped > 0) {
        // From the first whole line on.
        const auto end = text.find('\n');
        const std::size_t cut = end == std::string::npos ? text.size() : end + 1;
        text.erase(0, cut);
        text.insert(0, "--- " + file.filename().string() + ": the first " +
                           std::to_string(skipped + static_cast<std::int64_t>(cut)) + " of " +
                           std::to_string(size) + " bytes left out ---\n");
    }
    if (!platform::foundation::isValidUTF8(text)) {
        throw DiagnosticReportError(DiagnosticReportError::Reason::logNotText, file);
    }
    return text;
}

// The report's permissions: 0644, or no wider than those of the file it replaces.
mode_t reportMode(const fs::path& destination) {
    struct stat info {};
    if (::stat(destination.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
        return info.st_mode & 0644;
    }
    return 0644;
}

// Written beside the destination and renamed over it, so that no partial report is ever seen.
void writeAtomically(const fs::path& destination, std::string_view text) {
    const auto fail = [&] {
        return DiagnosticReportError(DiagnosticReportError::Reason::reportUnwritable, destination);
    };
    const fs::path folder = destination.has_parent_path() ? destination.parent_path() : ".";
    std::string pattern = (folder / ("." + destination.filename().string() + ".XXXXXX")).string();
    ScopedDescriptor descriptor(::mkostemp(pattern.data(), O_CLOEXEC));
    if (descriptor.get() < 0) {
        throw fail();
    }
    const bool written = writeAll(descriptor.get(), text) &&
                         ::fchmod(descriptor.get(), reportMode(destination)) == 0 &&
                         ::fsync(descriptor.get()) == 0;
    const bool closed = ::close(descriptor.release()) == 0;
    if (!written || !closed || ::rename(pattern.c_str(), destination.c_str()) != 0) {
        ::unlink(pattern.c_str());
        throw fail();
    }
}

}  // namespace

DiagnosticLog::DiagnosticLog(fs::path directory, std::int64_t maximumFileBytes, Clock now,
                             std::string homeDirectory, TextLookup lookup)
    : directory_(std::move(directory)),
      activeFile_(directory_ / activeFileName),
      backupFile_(directory_ / backupFileName),
      fileSizeLimit_(std::max(maximumFileBytes, smallestFileSizeLimit)),
      now_(std::move(now)),
      sanitize_(homeDirectory),
      lookup_(std::move(lookup)),
      queue_(std::string(queueLabel)) {}

DiagnosticLog::~DiagnosticLog() = default;

DiagnosticLog& DiagnosticLog::shared() {
    // Never destroyed: records may still arrive while the process ends.
    static DiagnosticLog* const log = new DiagnosticLog(
        fs::path(userHomeDirectory()) / "Library/Logs/Ventrella", sharedMaximumFileBytes,
        &std::chrono::system_clock::now, userHomeDirectory(),
        [](const std::string& text) { return core::L10n::string(text); });
    return *log;
}

std::string DiagnosticLog::userHomeDirectory() {
    try {
        return platform::foundation::homeDirectory().string();
    } catch (const std::runtime_error&) {
        return "/";
    }
}

void DiagnosticLog::record(DiagnosticLevel level, const std::string& event,
                           const std::string& message, const DiagnosticMetadata& metadata) {
    const auto timestamp = now_();
    auto work = [this, timestamp, level, event, message, metadata] {
        if (!abandoned_.load()) {
            append(sanitized(timestamp, level, event, message, metadata));
        }
    };
    std::lock_guard lock(gate_);
    if (!closed_) {
        queue_.async(std::move(work));
    }
}

DiagnosticRecord DiagnosticLog::sanitized(std::chrono::system_clock::time_point timestamp,
                                          DiagnosticLevel level, std::string_view event,
                                          std::string_view message,
                                          const DiagnosticMetadata& metadata) const {
    DiagnosticRecord record{
        timestamp, level, sanitize_(event, kEventScalars), sanitize_(message, kMessageScalars), {}};
    // By original key; a later pair wins where two keys coincide once cut.
    std::size_t kept = 0;
    for (const auto& [key, value] : metadata) {
        if (kept++ == kMetadataPairs) {
            break;
        }
        record.metadata.insert_or_assign(sanitize_(key, kMetadataKeyScalars),
                                         sanitize_(value, kMetadataValueScalars));
    }
    return record;
}

std::string DiagnosticLog::lineFor(const DiagnosticRecord& record) const {
    const auto line = record.jsonLine();
    if (!line) {
        return {};
    }
    if (static_cast<std::int64_t>(line->size()) <= fileSizeLimit_) {
        return *line;
    }
    const DiagnosticRecord replacement{record.timestamp,
                                       DiagnosticLevel::warning,
                                       "diagnostics.record_too_large",
                                       "Oversized diagnostic event dropped.",
                                       {{"original_event", record.event}}};
    return replacement.jsonLine().value_or(std::string());
}

bool DiagnosticLog::append(const DiagnosticRecord& record) const {
    const std::string line = lineFor(record);
    if (line.empty() || !makeDirectory(directory_)) {
        return false;
    }
    // A link at the log's place is never followed: the link goes (not what it points to), and
    // a fresh file starts.
    if (isLink(activeFile_) && ::unlink(activeFile_.c_str()) != 0) {
        return false;
    }
    const std::int64_t size = sizeOf(activeFile_);
    if (size >= 1 && size + static_cast<std::int64_t>(line.size()) > fileSizeLimit_) {
        if (isPresent(backupFile_) && ::unlink(backupFile_.c_str()) != 0) {
            return false;
        }
        if (isPresent(activeFile_) && ::rename(activeFile_.c_str(), backupFile_.c_str()) != 0) {
            return false;
        }
    }
    ScopedDescriptor descriptor(openForAppend(activeFile_));
    return descriptor.get() >= 0 && writeAll(descriptor.get(), line);
}

std::string DiagnosticLog::reportText(const std::map<std::string, std::string>& header) const {
    std::string text = lookup_("Ventrella Diagnostic Report");
    text.append("\ngenerated_at: ");
    text.append(security::iso8601String(now_()).value_or(std::string()));
    text.push_back('\n');
    bool first = true;
    for (const auto& [key, value] : header) {
        if (!first) {
            text.push_back('\n');
        }
        first = false;
        text.append(sanitize_(key, kHeaderKeyScalars));
        text.append(": ");
        text.append(sanitize_(value, kHeaderValueScalars));
    }
    text.append("\n\n--- event_log_jsonl (oldest -> newest) ---\n");
    // Each file as much as the log keeps in it, and as much again for a file grown by others.
    const std::int64_t bound = 2 * fileSizeLimit_;
    const std::string events = readLogText(backupFile_, bound) + readLogText(activeFile_, bound);
    if (events.empty()) {
        text.append(lookup_("No recorded events."));
        text.push_back('\n');
    } else {
        text.append(events);
    }
    return text;
}

void DiagnosticLog::writeReport(const fs::path& destination,
                                const std::map<std::string, std::string>& header) {
    queue_.sync([&] { writeAtomically(destination, reportText(header)); });
}

bool DiagnosticLog::drain(double timeoutSeconds) {
    {
        std::lock_guard lock(gate_);
        closed_ = true;
    }
    auto written = std::make_shared<std::promise<void>>();
    auto done = written->get_future();
    queue_.async([written] { written->set_value(); });
    const auto bound = std::chrono::duration<double>(std::max(timeoutSeconds, 0.0));
    if (done.wait_for(bound) == std::future_status::ready) {
        return true;
    }
    abandoned_.store(true);
    return false;
}

}  // namespace ventrella::diagnostics
