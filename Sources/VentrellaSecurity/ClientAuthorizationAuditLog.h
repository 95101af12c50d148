#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "VentrellaSecurity/ClientAuthorizationAuditEntry.h"
#include "VentrellaSecurity/ClientAuthorizationFailure.h"

namespace ventrella::security {

// A small JSON Lines file with one line per refused client. The writer drops an
// entry rather than wait for another writer; the reader takes no lock. Writers
// agree through a lock file beside the log ("<log>.lock", 0600, of the log's
// owner): the log itself is readable by everyone, and a lock anyone can take
// would let anyone make the writer drop every entry. A line the same as the
// last one written for its reason (same reason, same second) is not written
// again, so that a flood of refusals rotates earlier entries away no faster
// than one line per reason and second.
class ClientAuthorizationAuditLog {
  public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;

    // The cap the helper writes with and the application reads with.
    static constexpr std::int64_t defaultMaximumFileBytes = 32768;
    static constexpr std::int64_t smallestMaximumFileBytes = 1024;

    ClientAuthorizationAuditLog(std::filesystem::path fileURL, std::int64_t maximumFileBytes,
                                std::uint32_t requiredOwnerUID,
                                Clock now = &std::chrono::system_clock::now);
    ClientAuthorizationAuditLog(const ClientAuthorizationAuditLog&) = delete;
    ClientAuthorizationAuditLog& operator=(const ClientAuthorizationAuditLog&) = delete;

    // Appends one line; true only when the whole line was written, or when the
    // same line was the last one written for its reason. A file that would pass
    // the cap is emptied first. Never throws and never blocks.
    bool record(ClientAuthorizationFailure failure);

    // The newest entry that decodes within the last max(maximumReadBytes, 1024)
    // bytes of a regular file owned by requiredOwnerUID.
    static std::optional<ClientAuthorizationAuditEntry> latestEntry(
        const std::filesystem::path& fileURL, std::int64_t maximumReadBytes,
        std::uint32_t requiredOwnerUID);

    const std::filesystem::path& fileURL() const { return fileURL_; }
    std::int64_t maximumFileBytes() const { return maximumFileBytes_; }
    std::uint32_t requiredOwnerUID() const { return requiredOwnerUID_; }

  private:
    bool appendLocked(const std::string& line);

    std::filesystem::path fileURL_;
    std::filesystem::path lockURL_;
    std::int64_t maximumFileBytes_;
    std::uint32_t requiredOwnerUID_;
    Clock now_;
    std::mutex lock_;
    // Guarded by lock_.
    std::map<ClientAuthorizationFailure, std::string> lastLineWritten_;
};

}  // namespace ventrella::security
